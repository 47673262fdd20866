#include "tests/host/test_plugin.h"

#include <flutter_linux/flutter_linux.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "channel/dispatch_queues.h"

namespace corvella::testing {

namespace {

int g_registrations = 0;

using HeldCall = std::shared_ptr<FlMethodCall>;

HeldCall Hold(FlMethodCall* call) {
  return HeldCall(FL_METHOD_CALL(g_object_ref(call)), g_object_unref);
}

void AnswerTrue(FlMethodCall* call) {
  g_autoptr(FlValue) value = fl_value_new_bool(true);
  fl_method_call_respond_success(call, value, nullptr);
}

void HandleCall(FlMethodChannel*, FlMethodCall* call, gpointer) {
  const std::string name = fl_method_call_get_name(call);
  if (name == "registrarKey") {
    g_autoptr(FlValue) key = fl_value_new_string(kTestPluginKey);
    fl_method_call_respond_success(call, key, nullptr);
  } else if (name == "echo") {
    fl_method_call_respond_success(call, fl_method_call_get_args(call), nullptr);
  } else if (name == "afterMainQueue") {
    RunOnMainThread([held = Hold(call)] { AnswerTrue(held.get()); });
  } else if (name == "afterBackground") {
    FlValue* args = fl_method_call_get_args(call);
    FlValue* value = fl_value_get_type(args) == FL_VALUE_TYPE_MAP
                         ? fl_value_lookup_string(args, "milliseconds")
                         : nullptr;
    const int64_t milliseconds = value != nullptr && fl_value_get_type(value) == FL_VALUE_TYPE_INT
                                     ? fl_value_get_int(value)
                                     : 0;
    RunInBackground([milliseconds, held = Hold(call)]() mutable {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
      RunOnMainThread([held = std::move(held)] { AnswerTrue(held.get()); });
    });
  } else {
    fl_method_call_respond_not_implemented(call, nullptr);
  }
}

}  // namespace

int testPluginRegistrations() { return g_registrations; }

}  // namespace corvella::testing

// The strong definition that takes the row's weak registration entry, with
// the C linkage of a plug-in's entry.
extern "C" void open_file_plugin_register_with_registrar(FlPluginRegistrar* registrar);
void open_file_plugin_register_with_registrar(FlPluginRegistrar* registrar) {
  ++corvella::testing::g_registrations;
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(FlMethodChannel) channel =
      fl_method_channel_new(fl_plugin_registrar_get_messenger(registrar),
                            corvella::testing::kTestChannel, FL_METHOD_CODEC(codec));
  fl_method_channel_set_method_call_handler(channel, corvella::testing::HandleCall, nullptr,
                                            nullptr);
}
