#include "engine/binary_messenger.h"

void BinaryMessenger::setMessageHandler(const std::string& channel,
                                        FlutterBinaryMessageHandler handler) {
  if (handler) {
    handlers_[channel] = std::move(handler);
  } else {
    handlers_.erase(channel);
  }
}

void BinaryMessenger::deliver(const std::string& channel, const std::vector<uint8_t>& message,
                              FlutterBinaryReply reply) {
  auto it = handlers_.find(channel);
  if (it == handlers_.end()) {
    reply({});
    return;
  }
  // A copy, so that a handler that replaces itself stays alive while it runs.
  FlutterBinaryMessageHandler handler = it->second;
  handler(message, std::move(reply));
}
