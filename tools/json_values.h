#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/channel_values.h"

namespace corvella {

// Reads one JSON text (RFC 8259, strictly: no comments, no trailing commas,
// no leading zeros, no lone surrogates, UTF-8 only) as a channel value:
// object -> map with text keys, array -> list, string -> text, true/false ->
// bool, null -> null, an integer -> int, any other number -> float. Duplicate object keys and
// integers beyond 64 bits are errors. On failure returns std::nullopt and sets `reason` to a
// message that says what is wrong (for a syntax error, also where: line and column).
std::optional<Value> ParseJson(std::string_view text, std::string& reason);

// One line of JSON (no newline) for a channel value: null, booleans, numbers
// (doubles in their shortest exact form; NaN and infinities, which JSON
// cannot hold, as null), text (ill-formed UTF-8 shown as U+FFFD), lists and
// typed lists as arrays, maps as objects (a key that is not text is written
// as the text of its own JSON form).
std::string ToJson(FlValue* value);

// The answer to a call: the success value as above;
// {"error":{"code":…,"message":…,"details":…}} for an error (a missing
// message as null); {"notImplemented":true} for not-implemented.
std::string ToJson(FlMethodResponse* response);

}  // namespace corvella
