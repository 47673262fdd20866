#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "channel/print_in_flight.h"

namespace corvella {

// The printer plug-in's part in the end of the application. A label on its
// way must not be lost or cut: the application holds on past its last
// window while prints are in flight, so that each can be handed to lp or
// lpr whole and its fall-backs can run, but no longer than kGrace after
// that window has gone. Then every print still in flight is ended (see
// PrintInFlight): those whose tool holds the whole label are left to it,
// the others are not printed at all. One log line counts both. At the
// application's shutdown `on_shutdown` runs, to end the plug-in's own
// background work.
//
// Main thread only. Without an application (an engine run by a test, not a
// desktop app) nothing is held, nothing is ended and `on_shutdown` never
// runs.
class ApplicationEnd {
 public:
  static constexpr std::chrono::seconds kGrace{10};

  ApplicationEnd(GApplication* application, std::function<void()> on_shutdown);
  ~ApplicationEnd();
  ApplicationEnd(const ApplicationEnd&) = delete;
  ApplicationEnd& operator=(const ApplicationEnd&) = delete;

  // A print is handed to the background: the print its work goes by. Once
  // the application has ended, the print is ended before it begins.
  std::shared_ptr<PrintInFlight> printStarted();
  // The print has been answered.
  void printFinished(const std::shared_ptr<PrintInFlight>& print);

 private:
  static void windowRemoved(GtkApplication* application, GtkWindow* window, gpointer self);
  static void shutdown(GApplication* application, gpointer self);
  static gboolean graceEnded(gpointer self);

  bool windowsGone() const;
  void hold();
  void release();
  void startGrace();
  void endPrints();

  GApplication* application_;
  std::function<void()> on_shutdown_;
  gulong window_removed_handler_ = 0;
  gulong shutdown_handler_ = 0;
  guint grace_source_ = 0;
  std::vector<std::shared_ptr<PrintInFlight>> prints_;
  bool held_ = false;
  bool ended_ = false;
};

}  // namespace corvella
