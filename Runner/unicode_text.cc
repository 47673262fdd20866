#include "unicode_text.h"

#include <unicode/uchar.h>

#include <optional>

#include "utf8.h"

namespace corvella {
namespace {

// The offset of the code point that ends just before `end`, if that code
// point is well-formed.
std::optional<size_t> PreviousCodePointStart(std::string_view text, size_t end) {
  size_t start = end;
  // A code point is at most four bytes: one lead and up to three trailers.
  while (start > 0 && end - start < 4) {
    --start;
    if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) break;
  }
  size_t offset = start;
  if (!DecodeUtf8(text, offset) || offset != end) return std::nullopt;
  return start;
}

}  // namespace

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
