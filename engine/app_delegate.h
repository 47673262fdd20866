#pragma once

#include <gtkmm.h>

#include "engine/main_queue_wakeup.h"

// The base of the application's delegate. It owns the windowing framework's
// application object (a Gtk::Application without an application id, so it
// makes no bid for single-instance ownership and several hosts run side by
// side) and binds the main queue to the main loop of the thread that creates
// it, which becomes the main thread.
class FlutterAppDelegate {
 public:
  FlutterAppDelegate();
  FlutterAppDelegate(const FlutterAppDelegate&) = delete;
  FlutterAppDelegate& operator=(const FlutterAppDelegate&) = delete;
  virtual ~FlutterAppDelegate();

  // Asked once at start-up. True: the application ends when its last window
  // closes. False (the default): it keeps running without windows.
  virtual bool applicationShouldTerminateAfterLastWindowClosed(Gtk::Application& application);

  // Whether the application's restorable state may be encoded securely. This
  // embedding saves no window state, so the answer is never acted on; the
  // default is false.
  virtual bool applicationSupportsSecureRestorableState(Gtk::Application& application);

  const Glib::RefPtr<Gtk::Application>& application() const { return application_; }

 private:
  MainQueueWakeup wakeup_;
  Glib::RefPtr<Gtk::Application> application_;
};
