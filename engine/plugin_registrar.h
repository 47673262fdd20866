#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/binary_messenger.h"
#include "engine/method_call.h"
#include "engine/method_channel.h"

class FlutterPluginRegistrar;

// A plug-in: reached by the engine only through its call handler. Each
// plug-in class also offers a static registerWithRegistrar(registrar).
class FlutterPlugin {
 public:
  virtual ~FlutterPlugin() = default;
  virtual void handleMethodCall(const FlutterMethodCall& call, FlutterResult result) = 0;
};

// What one plug-in is given at registration: the messenger, and a place to
// keep its call delegates. The registrar owns every delegate and channel
// added to it, so they live as long as the registrar (in the app: as long as
// the process).
class FlutterPluginRegistrar {
 public:
  FlutterPluginRegistrar(std::string key, FlutterBinaryMessenger* messenger)
      : key_(std::move(key)), messenger_(messenger) {}
  FlutterPluginRegistrar(const FlutterPluginRegistrar&) = delete;
  FlutterPluginRegistrar& operator=(const FlutterPluginRegistrar&) = delete;

  const std::string& key() const { return key_; }
  FlutterBinaryMessenger* messenger() const { return messenger_; }

  // Routes every later call on `channel` to `delegate`'s handleMethodCall.
  void addMethodCallDelegate(std::shared_ptr<FlutterPlugin> delegate,
                             std::shared_ptr<FlutterMethodChannel> channel);

 private:
  struct Delegation {
    std::shared_ptr<FlutterPlugin> delegate;
    std::shared_ptr<FlutterMethodChannel> channel;
  };

  std::string key_;
  FlutterBinaryMessenger* messenger_;
  std::vector<Delegation> delegations_;
};

// Hands out registrars by plug-in key. The registry keeps every registrar it
// has created (one per key) for its own lifetime.
class FlutterPluginRegistry {
 public:
  explicit FlutterPluginRegistry(FlutterBinaryMessenger* messenger) : messenger_(messenger) {}
  virtual ~FlutterPluginRegistry() = default;
  FlutterPluginRegistry(const FlutterPluginRegistry&) = delete;
  FlutterPluginRegistry& operator=(const FlutterPluginRegistry&) = delete;

  virtual std::shared_ptr<FlutterPluginRegistrar> registrarForPlugin(const std::string& key);

 private:
  FlutterBinaryMessenger* messenger_;
  std::vector<std::shared_ptr<FlutterPluginRegistrar>> registrars_;
};
