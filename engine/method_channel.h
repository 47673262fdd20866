#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/binary_messenger.h"
#include "engine/method_call.h"

using FlutterMethodCallHandler =
    std::function<void(const FlutterMethodCall& call, FlutterResult result)>;

// A named channel on a messenger, speaking the standard method codec.
class FlutterMethodChannel {
 public:
  static std::shared_ptr<FlutterMethodChannel> methodChannelWithName(
      const std::string& name, FlutterBinaryMessenger* messenger);

  const std::string& name() const { return name_; }

  // Decodes each message into a call for `handler` and encodes its answer.
  // A message that is not a method call gets an empty reply and one log line.
  // The result passed to `handler` answers once: a second answer is dropped
  // with a log line, and a result dropped unanswered sends not-implemented.
  void setMethodCallHandler(FlutterMethodCallHandler handler);

  FlutterMethodChannel(std::string name, FlutterBinaryMessenger* messenger)
      : name_(std::move(name)), messenger_(messenger) {}

 private:
  std::string name_;
  FlutterBinaryMessenger* messenger_;
};
