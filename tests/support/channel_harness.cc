#include "tests/support/channel_harness.h"

#include <gtest/gtest.h>
#include <stand_in/engine_hooks.h>

#include <sstream>

namespace corvella::testing {

ChannelHarness::ChannelHarness() : main_thread_(g_thread_self()) {
  g_autoptr(FlDartProject) project = fl_dart_project_new();
  engine_ = fl_engine_new_headless(project);
}

ChannelHarness::~ChannelHarness() {
  runUntilIdle();
  for (FlPluginRegistrar* registrar : registrars_) g_object_unref(registrar);
  g_object_unref(engine_);
}

FlPluginRegistrar* ChannelHarness::registrar(const char* key) {
  registrars_.push_back(
      fl_plugin_registry_get_registrar_for_plugin(FL_PLUGIN_REGISTRY(engine_), key));
  return registrars_.back();
}

std::shared_ptr<ReplyLog> ChannelHarness::sendBytes(const std::string& channel,
                                                    const std::vector<uint8_t>& message) {
  auto log = std::make_shared<ReplyLog>();
  g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
  ++*unanswered_;
  stand_in_engine_dispatch_message(
      engine_, channel.c_str(), bytes,
      [log, unanswered = unanswered_, main_thread = main_thread_](GBytes* reply) {
        EXPECT_EQ(g_thread_self(), main_thread) << "reply sent off the main thread";
        gsize size = 0;
        const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(reply, &size));
        log->replies.emplace_back(data, data + size);
        --*unanswered;
      });
  return log;
}

std::shared_ptr<ReplyLog> ChannelHarness::send(const std::string& method, Value arguments,
                                               const std::string& channel) {
  return sendBytes(channel, EncodeMethodCall(method, arguments.get()));
}

std::string ChannelHarness::call(const std::string& method, Value arguments,
                                 const std::string& channel) {
  std::shared_ptr<ReplyLog> log = send(method, std::move(arguments), channel);
  runUntilIdle();
  return Answer(*log);
}

void ChannelHarness::runUntilIdle() {
  // Background work posts its answers to the main context, which wakes a
  // blocking iteration.
  while (*unanswered_ > 0) g_main_context_iteration(nullptr, TRUE);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

std::string Answer(const ReplyLog& log) {
  EXPECT_EQ(log.replies.size(), 1u) << "a call must be answered exactly once";
  if (log.replies.size() != 1) return "<" + std::to_string(log.replies.size()) + " replies>";
  if (log.replies[0].empty()) return "<empty>";
  g_autoptr(FlMethodResponse) decoded = DecodeReply(log.replies[0]);
  EXPECT_NE(decoded, nullptr) << "undecodable reply";
  return decoded != nullptr ? ToJson(decoded) : "<undecodable>";
}

std::string ErrorAnswer(const std::string& code, const std::string& message) {
  g_autoptr(FlMethodResponse) error =
      FL_METHOD_RESPONSE(fl_method_error_response_new(code.c_str(), message.c_str(), nullptr));
  return ToJson(error);
}

Value TextMap(std::initializer_list<std::pair<const char*, Value>> entries) {
  Value map = Value::take(fl_value_new_map());
  for (const auto& [key, value] : entries) fl_value_set_string(map.get(), key, value.get());
  return map;
}

}  // namespace corvella::testing
