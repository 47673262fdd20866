#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/binary_messenger.h"
#include "engine/encodable_value.h"
#include "engine/method_call.h"
#include "engine/plugin_registrar.h"

namespace corvella::testing {

// The replies one sent message has received so far, as raw bytes.
struct ReplyLog {
  std::vector<std::vector<uint8_t>> replies;
};

// An in-process stand-in for the user interface: a messenger and a plug-in
// registry on the calling thread (which becomes the main thread), and calls
// that go through the encoded path, bytes in and bytes out.
class ChannelHarness {
 public:
  ChannelHarness();

  BinaryMessenger& messenger() { return messenger_; }
  FlutterPluginRegistry& registry() { return registry_; }

  // Delivers raw bytes to `channel` and returns the log of its replies. Runs
  // nothing from the main queue: what the log holds on return was answered
  // inside the handler.
  std::shared_ptr<ReplyLog> sendBytes(const std::string& channel,
                                      const std::vector<uint8_t>& message);
  // Encodes a method call and sends it as above.
  std::shared_ptr<ReplyLog> send(const std::string& method, EncodableValue arguments = {},
                                 const std::string& channel = "zebra_printer_channel");

  // Sends a call, runs the main queue until idle, expects exactly one
  // well-formed reply and returns it decoded. A missing, duplicate or
  // undecodable reply fails the current test and returns std::nullopt.
  std::optional<FlutterResultValue> call(const std::string& method, EncodableValue arguments = {},
                                         const std::string& channel = "zebra_printer_channel");

  // Runs main-queue work until it and the background queue are idle.
  void runUntilIdle();

 private:
  BinaryMessenger messenger_;
  FlutterPluginRegistry registry_;
};

// Decodes the single reply of `log`, failing the test when there is not
// exactly one or it is malformed.
std::optional<FlutterResultValue> SingleReply(const ReplyLog& log);

// Readable forms for assertions.
std::string Describe(const EncodableValue& value);
std::string Describe(const FlutterResultValue& result);

// Shorthands for expected answers.
FlutterResultValue Success(EncodableValue value);
FlutterResultValue Error(const std::string& code, const std::string& message);
EncodableValue TextMap(std::initializer_list<std::pair<const char*, EncodableValue>> entries);

}  // namespace corvella::testing
