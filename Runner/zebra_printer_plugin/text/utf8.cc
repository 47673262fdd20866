#include "text/utf8.h"

#include <unicode/utf8.h>

#include <climits>

// ICU's stepping macros convert between its integer types internally.
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"

namespace corvella {

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& offset) {
  if (offset >= text.size()) return std::nullopt;
  // ICU steps in int32_t; a window of at most one code point keeps any
  // offset of a larger text in range.
  const std::string_view window = text.substr(offset, U8_MAX_LENGTH);
  int32_t i = 0;
  UChar32 c = 0;
  U8_NEXT(reinterpret_cast<const uint8_t*>(window.data()), i, static_cast<int32_t>(window.size()),
          c);
  if (c < 0) return std::nullopt;
  offset += static_cast<size_t>(i);
  return static_cast<char32_t>(c);
}

bool IsValidUtf8(std::string_view text) {
  size_t offset = 0;
  while (offset < text.size()) {
    if (!DecodeUtf8(text, offset)) return false;
  }
  return true;
}

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

void AppendUtf8(std::string& out, char32_t code_point) {
  uint8_t bytes[U8_MAX_LENGTH];
  int32_t length = 0;
  UBool error = false;
  U8_APPEND(bytes, length, U8_MAX_LENGTH, static_cast<UChar32>(code_point), error);
  if (!error) out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

}  // namespace corvella
