#pragma once

#include <gtkmm.h>

#include "engine/app_delegate.h"

namespace corvella {

// The application's delegate: closing the last window ends the application.
// Created by the framework at start-up (it is the application's one
// delegate class).
class AppDelegate : public FlutterAppDelegate {
 public:
  AppDelegate();

  bool applicationShouldTerminateAfterLastWindowClosed(Gtk::Application& application) override;
  bool applicationSupportsSecureRestorableState(Gtk::Application& application) override;
};

}  // namespace corvella
