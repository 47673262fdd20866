#pragma once

#include <string>
#include <string_view>

namespace corvella {

// The platform's whitespace-and-newlines set: U+0009 to U+000D, U+0085 and
// every character of general category Z (space, line and paragraph
// separators).
bool IsPlatformWhitespace(char32_t code_point);

// `text` without the characters of the set above at either end. Works on
// code points, so a space followed by a combining mark at the start loses
// the space and keeps the mark. Text that is not valid UTF-8 is trimmed up
// to the first ill-formed sequence from each side and returned otherwise
// unchanged.
std::string TrimPlatformWhitespace(std::string_view text);

// True when `text` is empty or holds only characters of the set above.
bool IsBlank(std::string_view text);

}  // namespace corvella
