#pragma once

// The user interface's side of the standard method codec: what a caller of
// the host's channels (corvella-call, the tests, the benchmarks) encodes and
// decodes. Byte-exact with the host's FlValue codec.

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/method_call.h"

// The app engine's standard method codec on top of the standard message
// format: a call is the method name (a string value) followed by the
// arguments value; a reply is a success envelope (0, value), an error
// envelope (1, code, message or null, details[, stack trace]), or, for
// not-implemented, no bytes at all.
class StandardMethodCodec {
 public:
  static std::vector<uint8_t> EncodeMethodCall(const FlutterMethodCall& call);
  // std::nullopt when the bytes are not exactly one method call.
  static std::optional<FlutterMethodCall> DecodeMethodCall(const std::vector<uint8_t>& bytes);

  static std::vector<uint8_t> EncodeSuccessEnvelope(const EncodableValue& value);
  static std::vector<uint8_t> EncodeErrorEnvelope(const FlutterError& error);
  // Encodes whichever answer `result` holds (empty for not-implemented).
  static std::vector<uint8_t> EncodeResult(const FlutterResultValue& result);
  // The inverse of EncodeResult; std::nullopt for a malformed envelope.
  static std::optional<FlutterResultValue> DecodeEnvelope(const std::vector<uint8_t>& bytes);
};
