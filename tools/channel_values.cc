#include "tools/channel_values.h"

namespace corvella {

namespace {

FlMethodCodec* Codec() {
  static FlStandardMethodCodec* codec = fl_standard_method_codec_new();
  return FL_METHOD_CODEC(codec);
}

// The codec's operations, through its class as the engine declares it.
FlMethodCodecClass* Operations() { return FL_METHOD_CODEC_GET_CLASS(Codec()); }

std::vector<uint8_t> ToVector(GBytes* bytes) {
  if (bytes == nullptr) return {};
  gsize size = 0;
  const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(bytes, &size));
  return std::vector<uint8_t>(data, data + size);
}

}  // namespace

Value ListValue(std::initializer_list<Value> items) {
  Value list = Value::take(fl_value_new_list());
  for (const Value& item : items) fl_value_append(list.get(), item.get());
  return list;
}

Value MapValue(std::initializer_list<std::pair<Value, Value>> entries) {
  Value map = Value::take(fl_value_new_map());
  for (const auto& [key, value] : entries) fl_value_set(map.get(), key.get(), value.get());
  return map;
}

std::vector<uint8_t> EncodeMethodCall(const std::string& method, FlValue* arguments) {
  g_autoptr(GBytes) message =
      Operations()->encode_method_call(Codec(), method.c_str(), arguments, nullptr);
  return ToVector(message);
}

FlMethodResponse* DecodeReply(const std::vector<uint8_t>& reply) {
  if (reply.empty()) return FL_METHOD_RESPONSE(fl_method_not_implemented_response_new());
  g_autoptr(GBytes) bytes = g_bytes_new(reply.data(), reply.size());
  return Operations()->decode_response(Codec(), bytes, nullptr);
}

std::vector<uint8_t> EncodeReply(FlMethodResponse* response) {
  g_autoptr(GBytes) reply = nullptr;
  if (FL_IS_METHOD_SUCCESS_RESPONSE(response)) {
    reply = Operations()->encode_success_envelope(
        Codec(), fl_method_success_response_get_result(FL_METHOD_SUCCESS_RESPONSE(response)),
        nullptr);
  } else if (FL_IS_METHOD_ERROR_RESPONSE(response)) {
    FlMethodErrorResponse* error = FL_METHOD_ERROR_RESPONSE(response);
    reply =
        Operations()->encode_error_envelope(Codec(), fl_method_error_response_get_code(error),
                                            fl_method_error_response_get_message(error),
                                            fl_method_error_response_get_details(error), nullptr);
  }
  return ToVector(reply);
}

}  // namespace corvella
