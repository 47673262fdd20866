#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Sends one reply, once, for one received message. An empty reply means
// "no handler" or "not implemented".
using FlutterBinaryReply = std::function<void(std::vector<uint8_t> reply)>;
using FlutterBinaryMessageHandler =
    std::function<void(const std::vector<uint8_t>& message, FlutterBinaryReply reply)>;

// The channel side of the messenger: what plug-ins see.
class FlutterBinaryMessenger {
 public:
  virtual ~FlutterBinaryMessenger() = default;
  // Installs (or with an empty handler removes) the handler of `channel`.
  virtual void setMessageHandler(const std::string& channel,
                                 FlutterBinaryMessageHandler handler) = 0;
};

// The messenger that the view controller owns: keeps the handlers by channel
// name and delivers incoming messages to them. Main thread only.
class BinaryMessenger : public FlutterBinaryMessenger {
 public:
  void setMessageHandler(const std::string& channel,
                         FlutterBinaryMessageHandler handler) override;

  // Delivers `message` to the handler of `channel`; a channel without a
  // handler gets an empty reply at once.
  void deliver(const std::string& channel, const std::vector<uint8_t>& message,
               FlutterBinaryReply reply);

 private:
  std::map<std::string, FlutterBinaryMessageHandler> handlers_;
};
