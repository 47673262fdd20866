#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/encodable_value.h"

namespace corvella {

// Reads one JSON text (RFC 8259, strictly: no comments, no trailing commas,
// no leading zeros, no lone surrogates, UTF-8 only) as a channel value:
// object -> map with text keys, array -> list, string -> text, true/false ->
// bool, null -> null, an integer -> int32 when it fits, else int64, any other
// number -> double. Duplicate object keys and integers beyond 64 bits are
// errors. On failure returns std::nullopt and sets `error` to a message that
// names the byte offset.
std::optional<EncodableValue> ParseJson(std::string_view text, std::string& error);

}  // namespace corvella
