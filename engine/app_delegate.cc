#include "engine/app_delegate.h"

FlutterAppDelegate::FlutterAppDelegate()
    : application_(Gtk::Application::create(Glib::ustring(), Gio::APPLICATION_NON_UNIQUE)) {}

FlutterAppDelegate::~FlutterAppDelegate() = default;

bool FlutterAppDelegate::applicationShouldTerminateAfterLastWindowClosed(Gtk::Application&) {
  return false;
}

bool FlutterAppDelegate::applicationSupportsSecureRestorableState(Gtk::Application&) {
  return false;
}
