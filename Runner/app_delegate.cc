#include "Runner/app_delegate.h"

#include <memory>

#include "engine/class_registry.h"

namespace corvella {

namespace {

[[maybe_unused]] const bool kRegistered = FlutterClassRegistry::shared().addAppDelegateClass(
    "AppDelegate", [] { return std::make_unique<AppDelegate>(); });

}  // namespace

AppDelegate::AppDelegate() : FlutterAppDelegate() {}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed(Gtk::Application&) {
  return true;
}

bool AppDelegate::applicationSupportsSecureRestorableState(Gtk::Application&) { return true; }

}  // namespace corvella
