#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvella {

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Decodes the code point at `text[offset]`, advancing `offset` past it;
// std::nullopt (offset unchanged) for an ill-formed sequence.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& offset);

// The offset at which the code point that ends just before `end` starts;
// std::nullopt when the bytes there are not one well-formed sequence.
std::optional<size_t> PreviousCodePointStart(std::string_view text, size_t end);

// Appends the UTF-8 form of `code_point` (which must be a scalar value).
void AppendUtf8(std::string& out, char32_t code_point);

}  // namespace corvella
