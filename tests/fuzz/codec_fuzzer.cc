// Feeds arbitrary bytes to the standard codec's decoders: as a value, as a
// method call and as a reply. Every input must decode or be refused without a
// crash or a read past the buffer, and what decodes must survive a round trip
// byte for byte.
#include <flutter_linux/flutter_linux.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/channel_values.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameBytes(GBytes* a, GBytes* b) { return a != nullptr && b != nullptr && g_bytes_equal(a, b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_autoptr(GBytes) message = g_bytes_new(data, size);
  g_autoptr(FlStandardMessageCodec) values = fl_standard_message_codec_new();
  FlMessageCodec* value_codec = FL_MESSAGE_CODEC(values);
  g_autoptr(FlStandardMethodCodec) methods = fl_standard_method_codec_new();
  FlMethodCodec* method_codec = FL_METHOD_CODEC(methods);

  // A value: written again, it reads back as the same bytes.
  g_autoptr(FlValue) value = fl_message_codec_decode_message(value_codec, message, nullptr);
  if (value != nullptr) {
    g_autoptr(GBytes) encoded = fl_message_codec_encode_message(value_codec, value, nullptr);
    g_autoptr(FlValue) again = fl_message_codec_decode_message(value_codec, encoded, nullptr);
    Check(again != nullptr);
    g_autoptr(GBytes) reencoded = fl_message_codec_encode_message(value_codec, again, nullptr);
    Check(SameBytes(encoded, reencoded));
  }

  // A method call, as the host receives them.
  FlMethodCodecClass* operations = FL_METHOD_CODEC_GET_CLASS(method_codec);
  g_autofree gchar* name = nullptr;
  g_autoptr(FlValue) args = nullptr;
  if (operations->decode_method_call(method_codec, message, &name, &args, nullptr)) {
    g_autoptr(GBytes) encoded = operations->encode_method_call(method_codec, name, args, nullptr);
    g_autofree gchar* name_again = nullptr;
    g_autoptr(FlValue) args_again = nullptr;
    Check(operations->decode_method_call(method_codec, encoded, &name_again, &args_again, nullptr));
    Check(std::strcmp(name, name_again) == 0);
    g_autoptr(GBytes) reencoded =
        operations->encode_method_call(method_codec, name_again, args_again, nullptr);
    Check(SameBytes(encoded, reencoded));
  }

  // A reply, as the user interface receives them.
  g_autoptr(FlMethodResponse) response =
      corvella::DecodeReply(std::vector<uint8_t>(data, data + size));
  if (response != nullptr) {
    const std::vector<uint8_t> encoded = corvella::EncodeReply(response);
    g_autoptr(FlMethodResponse) again = corvella::DecodeReply(encoded);
    Check(again != nullptr);
    Check(corvella::EncodeReply(again) == encoded);
  }
  return 0;
}
