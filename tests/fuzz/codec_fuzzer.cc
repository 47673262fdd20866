// Feeds arbitrary bytes to the standard codec's decoders. Every input must
// decode or be refused without a crash or a read past the buffer, and what
// decodes must survive a round trip: encoding it, decoding that and encoding
// again gives the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/standard_message_codec.h"
#include "engine/standard_method_codec.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);

  if (std::optional<EncodableValue> value = StandardMessageCodec::Decode(data, size)) {
    const std::vector<uint8_t> encoded = StandardMessageCodec::Encode(*value);
    std::optional<EncodableValue> again = StandardMessageCodec::Decode(encoded);
    Check(again.has_value());
    Check(StandardMessageCodec::Encode(*again) == encoded);
  }

  if (std::optional<FlutterMethodCall> call = StandardMethodCodec::DecodeMethodCall(bytes)) {
    const std::vector<uint8_t> encoded = StandardMethodCodec::EncodeMethodCall(*call);
    std::optional<FlutterMethodCall> again = StandardMethodCodec::DecodeMethodCall(encoded);
    Check(again.has_value() && again->method() == call->method());
    Check(StandardMethodCodec::EncodeMethodCall(*again) == encoded);
  }

  if (std::optional<FlutterResultValue> reply = StandardMethodCodec::DecodeEnvelope(bytes)) {
    const std::vector<uint8_t> encoded = StandardMethodCodec::EncodeResult(*reply);
    std::optional<FlutterResultValue> again = StandardMethodCodec::DecodeEnvelope(encoded);
    Check(again.has_value());
    Check(StandardMethodCodec::EncodeResult(*again) == encoded);
  }
  return 0;
}
