#include "engine/method_channel.h"

#include <utility>

#include "engine/log.h"
#include "engine/standard_method_codec.h"

namespace {

// Holds the binary reply of one call and guarantees that it is sent exactly
// once, whatever the handler does with its result callback.
class ReplyOnce {
 public:
  ReplyOnce(std::string channel, std::string method, FlutterBinaryReply reply)
      : channel_(std::move(channel)), method_(std::move(method)), reply_(std::move(reply)) {}
  ReplyOnce(const ReplyOnce&) = delete;
  ReplyOnce& operator=(const ReplyOnce&) = delete;

  ~ReplyOnce() {
    if (reply_) {
      Log("Method " + method_ + " on channel " + channel_ + " was never answered");
      std::exchange(reply_, nullptr)({});
    }
  }

  void Send(const FlutterResultValue& result) {
    if (!reply_) {
      Log("Method " + method_ + " on channel " + channel_ + " answered more than once");
      return;
    }
    std::exchange(reply_, nullptr)(StandardMethodCodec::EncodeResult(result));
  }

 private:
  std::string channel_;
  std::string method_;
  FlutterBinaryReply reply_;
};

}  // namespace

std::shared_ptr<FlutterMethodChannel> FlutterMethodChannel::methodChannelWithName(
    const std::string& name, FlutterBinaryMessenger* messenger) {
  return std::make_shared<FlutterMethodChannel>(name, messenger);
}

void FlutterMethodChannel::setMethodCallHandler(FlutterMethodCallHandler handler) {
  if (!handler) {
    messenger_->setMessageHandler(name_, nullptr);
    return;
  }
  messenger_->setMessageHandler(
      name_, [name = name_, handler = std::move(handler)](const std::vector<uint8_t>& message,
                                                          FlutterBinaryReply reply) {
        std::optional<FlutterMethodCall> call = StandardMethodCodec::DecodeMethodCall(message);
        if (!call) {
          Log("Undecodable method call on channel " + name);
          reply({});
          return;
        }
        auto once = std::make_shared<ReplyOnce>(name, call->method(), std::move(reply));
        handler(*call, [once](FlutterResultValue result) { once->Send(result); });
      });
}
