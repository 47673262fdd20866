#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>

namespace corvella {

// The printer plug-in's part in the end of the application. A label on its
// way must not be cut off: the application holds on past its last window
// while prints are in flight, so that each is handed to lp or lpr whole and
// its fall-backs can run, but no longer than kGrace after that window has
// gone. Then it ends, and one log line says how many prints it left to
// finish on their own (their lp or lpr is never killed: that could lose or
// half-send a label). At the application's shutdown `on_shutdown` runs, to
// end the plug-in's own background work.
//
// Main thread only. Without an application (an engine run by a test, not a
// desktop app) nothing is held and `on_shutdown` never runs.
class ApplicationEnd {
 public:
  static constexpr std::chrono::seconds kGrace{10};

  ApplicationEnd(GApplication* application, std::function<void()> on_shutdown);
  ~ApplicationEnd();
  ApplicationEnd(const ApplicationEnd&) = delete;
  ApplicationEnd& operator=(const ApplicationEnd&) = delete;

  // A print has been handed to the background, and has been answered.
  void printStarted();
  void printFinished();

 private:
  static void windowRemoved(GtkApplication* application, GtkWindow* window, gpointer self);
  static void shutdown(GApplication* application, gpointer self);
  static gboolean graceEnded(gpointer self);

  bool windowsGone() const;
  void hold();
  void release();
  void startGrace();
  void leavePrints();

  GApplication* application_;
  std::function<void()> on_shutdown_;
  gulong window_removed_handler_ = 0;
  gulong shutdown_handler_ = 0;
  guint grace_source_ = 0;
  size_t prints_ = 0;
  bool held_ = false;
  bool left_ = false;
};

}  // namespace corvella
