#include "tools/channel_values.h"

#include "engine_stand_in/fl_standard_codec_private.h"

namespace corvella {

namespace {

FlMethodCodec* Codec() {
  static FlStandardMethodCodec* codec = fl_standard_method_codec_new();
  return FL_METHOD_CODEC(codec);
}

}  // namespace

Value ListValue(std::initializer_list<Value> items) {
  Value list = Value::Take(fl_value_new_list());
  for (const Value& item : items) fl_value_append(list.get(), item.get());
  return list;
}

Value MapValue(std::initializer_list<std::pair<Value, Value>> entries) {
  Value map = Value::Take(fl_value_new_map());
  for (const auto& [key, value] : entries) fl_value_set(map.get(), key.get(), value.get());
  return map;
}

std::vector<uint8_t> EncodeMethodCall(const std::string& method, FlValue* arguments) {
  g_autoptr(GBytes) message =
      fl_method_codec_encode_method_call(Codec(), method.c_str(), arguments, nullptr);
  gsize size = 0;
  const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(message, &size));
  return std::vector<uint8_t>(data, data + size);
}

FlMethodResponse* DecodeReply(const std::vector<uint8_t>& reply) {
  g_autoptr(GBytes) bytes = g_bytes_new(reply.data(), reply.size());
  return fl_method_codec_decode_response(Codec(), bytes, nullptr);
}

}  // namespace corvella
