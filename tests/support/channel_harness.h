#pragma once

#include <flutter_linux/flutter_linux.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/channel_values.h"
#include "tools/json_values.h"

namespace corvella::testing {

// The replies one sent message has received so far, as raw bytes.
struct ReplyLog {
  std::vector<std::vector<uint8_t>> replies;
};

// An in-process stand-in for the user interface: a headless engine whose
// main thread is the calling thread, and calls that go through the encoded
// path, bytes in and bytes out, as the UI link delivers them.
class ChannelHarness {
 public:
  ChannelHarness();
  ~ChannelHarness();
  ChannelHarness(const ChannelHarness&) = delete;
  ChannelHarness& operator=(const ChannelHarness&) = delete;

  FlEngine* engine() { return engine_; }
  // A registrar for `key`, kept by the harness for its lifetime.
  FlPluginRegistrar* registrar(const char* key);

  // Delivers raw bytes to `channel` and returns the log of its replies. Runs
  // nothing from the main context: what the log holds on return was
  // answered inside the handler.
  std::shared_ptr<ReplyLog> sendBytes(const std::string& channel,
                                      const std::vector<uint8_t>& message);
  // Encodes a method call and sends it as above.
  std::shared_ptr<ReplyLog> send(const std::string& method, Value arguments = {},
                                 const std::string& channel = "zebra_printer_channel");

  // Sends a call, runs the main context until every message sent has its
  // reply and returns the call's answer, as Answer gives it.
  std::string call(const std::string& method, Value arguments = {},
                   const std::string& channel = "zebra_printer_channel");

  // Runs the main context until every message sent has been replied to and
  // nothing more is ready to run.
  void runUntilIdle();

 private:
  FlEngine* engine_;
  GThread* main_thread_;
  std::vector<FlPluginRegistrar*> registrars_;
  std::shared_ptr<size_t> unanswered_ = std::make_shared<size_t>(0);
};

// The single reply of `log` as corvella-call prints answers ("<empty>" for
// an empty reply); a test failure, and a placeholder, when there is not
// exactly one or it is malformed.
std::string Answer(const ReplyLog& log);

// Readable forms for assertions: the JSON corvella-call prints.
inline std::string Describe(const Value& value) { return ToJson(value.get()); }
// An error answer with no details, as Answer gives it.
std::string ErrorAnswer(const std::string& code, const std::string& message);

// A map with text keys, in the order given.
Value TextMap(std::initializer_list<std::pair<const char*, Value>> entries);

}  // namespace corvella::testing
