#include "engine/view_controller.h"

#include "engine/log.h"

FlutterViewController::FlutterViewController()
    : FlutterPluginRegistry(&owned_messenger_), view_(std::make_unique<FlutterView>()) {
  link_ = UiLink::claimStandardStreams(owned_messenger_, [this] { CloseWindow(); });
}

FlutterViewController::~FlutterViewController() { finishUiLink(); }

std::shared_ptr<FlutterPluginRegistrar> FlutterViewController::registrarForPlugin(
    const std::string& key) {
  requested_keys_.push_back(key);
  return FlutterPluginRegistry::registrarForPlugin(key);
}

void FlutterViewController::finishUiLink() {
  if (link_) link_->finish();
}

void FlutterViewController::CloseWindow() {
  Gtk::Widget* top = view_->get_toplevel();
  auto* window =
      top != nullptr && top->get_is_toplevel() ? dynamic_cast<Gtk::Window*>(top) : nullptr;
  if (window == nullptr) {
    Log("UI link ended; the view is in no window to close");
    return;
  }
  window->close();
}
