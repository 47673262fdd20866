#include "Runner/utf8.h"

namespace corvella {

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& offset) {
  if (offset >= text.size()) return std::nullopt;
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(offset);
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++offset;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1Fu;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0Fu;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - offset < length) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    const uint8_t next = byte(offset + i);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  offset += length;
  return value;
}

bool IsValidUtf8(std::string_view text) {
  size_t offset = 0;
  while (offset < text.size()) {
    if (!DecodeUtf8(text, offset)) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  const auto put = [&](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

}  // namespace corvella
