#include "text/unicode_text.h"

#include <unicode/uchar.h>

#include <optional>

#include "text/utf8.h"

namespace corvella {

bool IsPlatformWhitespace(char32_t code_point) {
  // Unicode's White_Space property is exactly that set.
  return u_isUWhiteSpace(static_cast<UChar32>(code_point));
}

std::string TrimPlatformWhitespace(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t next = begin;
    std::optional<char32_t> code_point = DecodeUtf8(text, next);
    if (!code_point || !IsPlatformWhitespace(*code_point)) break;
    begin = next;
  }
  size_t end = text.size();
  while (end > begin) {
    std::optional<size_t> start = PreviousCodePointStart(text, end);
    if (!start || *start < begin) break;
    size_t offset = *start;
    if (!IsPlatformWhitespace(*DecodeUtf8(text, offset))) break;
    end = *start;
  }
  return std::string(text.substr(begin, end - begin));
}

bool IsBlank(std::string_view text) {
  size_t offset = 0;
  while (offset < text.size()) {
    std::optional<char32_t> code_point = DecodeUtf8(text, offset);
    if (!code_point || !IsPlatformWhitespace(*code_point)) return false;
  }
  return true;
}

}  // namespace corvella
