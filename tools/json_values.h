#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/encodable_value.h"
#include "tools/method_call.h"

namespace corvella {

// Reads one JSON text (RFC 8259, strictly: no comments, no trailing commas,
// no leading zeros, no lone surrogates, UTF-8 only) as a channel value:
// object -> map with text keys, array -> list, string -> text, true/false ->
// bool, null -> null, an integer -> int32 when it fits, else int64, any other
// number -> double. Duplicate object keys and integers beyond 64 bits are
// errors. On failure returns std::nullopt and sets `error` to a message that
// says what is wrong (for a syntax error, also where: line and column).
std::optional<EncodableValue> ParseJson(std::string_view text, std::string& error);

// One line of JSON (no newline) for a channel value: null, booleans, numbers
// (doubles in their shortest exact form; NaN and infinities, which JSON
// cannot hold, as null), text (ill-formed UTF-8 shown as U+FFFD), lists and
// typed lists as arrays, maps as objects (a key that is not text is written
// as the text of its own JSON form).
std::string ToJson(const EncodableValue& value);

// The answer to a call: the success value as above;
// {"error":{"code":…,"message":…,"details":…}} for an error (a missing
// message as null); {"notImplemented":true} for not-implemented.
std::string ToJson(const FlutterResultValue& result);

}  // namespace corvella
