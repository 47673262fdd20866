#include "engine/plugin_registrar.h"

#include <utility>

void FlutterPluginRegistrar::addMethodCallDelegate(std::shared_ptr<FlutterPlugin> delegate,
                                                   std::shared_ptr<FlutterMethodChannel> channel) {
  // The handler holds a weak reference: the registrar owns the delegate, and
  // a strong one here would be a cycle through the messenger.
  std::weak_ptr<FlutterPlugin> weak = delegate;
  channel->setMethodCallHandler([weak](const FlutterMethodCall& call, FlutterResult result) {
    if (auto plugin = weak.lock()) {
      plugin->handleMethodCall(call, std::move(result));
    } else {
      result(FlutterMethodNotImplemented);
    }
  });
  delegations_.push_back({std::move(delegate), std::move(channel)});
}

std::shared_ptr<FlutterPluginRegistrar> FlutterPluginRegistry::registrarForPlugin(
    const std::string& key) {
  for (const auto& registrar : registrars_) {
    if (registrar->key() == key) return registrar;
  }
  registrars_.push_back(std::make_shared<FlutterPluginRegistrar>(key, messenger_));
  return registrars_.back();
}
