// Feeds arbitrary bytes to the standard codec's decoders on both sides of the
// channel: the host's (FlValue) and the user interface's. Every input must
// decode or be refused without a crash or a read past the buffer, both sides
// must agree on which, and what decodes must survive a round trip.
#include <flutter_linux/flutter_linux.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/fl_standard_codec_private.h"
#include "tools/standard_message_codec.h"
#include "tools/standard_method_codec.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  g_autoptr(GBytes) message = g_bytes_new(data, size);
  g_autoptr(FlStandardMessageCodec) values = fl_standard_message_codec_new();
  g_autoptr(FlStandardMethodCodec) methods = fl_standard_method_codec_new();

  // The host's reading of a value, and the user interface's, agree.
  g_autoptr(FlValue) host_value =
      fl_message_codec_decode_message(FL_MESSAGE_CODEC(values), message, nullptr);
  std::optional<EncodableValue> value = StandardMessageCodec::Decode(data, size);
  Check((host_value != nullptr) == value.has_value());
  if (host_value != nullptr) {
    g_autoptr(GBytes) encoded =
        fl_message_codec_encode_message(FL_MESSAGE_CODEC(values), host_value, nullptr);
    g_autoptr(FlValue) again =
        fl_message_codec_decode_message(FL_MESSAGE_CODEC(values), encoded, nullptr);
    Check(again != nullptr &&
          fl_value_equal(again, host_value) == fl_value_equal(host_value, host_value));
  }
  if (value) {
    const std::vector<uint8_t> encoded = StandardMessageCodec::Encode(*value);
    std::optional<EncodableValue> again = StandardMessageCodec::Decode(encoded);
    Check(again.has_value());
    Check(StandardMessageCodec::Encode(*again) == encoded);
  }

  // Method calls, as the host receives them.
  g_autofree gchar* name = nullptr;
  g_autoptr(FlValue) args = nullptr;
  const bool host_call =
      fl_method_codec_decode_method_call(FL_METHOD_CODEC(methods), message, &name, &args, nullptr);
  std::optional<FlutterMethodCall> call = StandardMethodCodec::DecodeMethodCall(bytes);
  Check(host_call == call.has_value());
  if (call) {
    const std::vector<uint8_t> encoded = StandardMethodCodec::EncodeMethodCall(*call);
    std::optional<FlutterMethodCall> again = StandardMethodCodec::DecodeMethodCall(encoded);
    Check(again.has_value() && again->method() == call->method());
    Check(StandardMethodCodec::EncodeMethodCall(*again) == encoded);
  }

  // Replies, as the user interface receives them.
  if (std::optional<FlutterResultValue> reply = StandardMethodCodec::DecodeEnvelope(bytes)) {
    const std::vector<uint8_t> encoded = StandardMethodCodec::EncodeResult(*reply);
    std::optional<FlutterResultValue> again = StandardMethodCodec::DecodeEnvelope(encoded);
    Check(again.has_value());
    Check(StandardMethodCodec::EncodeResult(*again) == encoded);
  }
  g_autoptr(FlMethodResponse) response =
      fl_method_codec_decode_response(FL_METHOD_CODEC(methods), message, nullptr);
  if (response != nullptr) {
    g_autoptr(GBytes) encoded =
        fl_method_codec_encode_response(FL_METHOD_CODEC(methods), response, nullptr);
    Check(encoded != nullptr);
  }
  return 0;
}
