#include "zpl_document.h"

#include <unicode/uchar.h>

#include <cstring>
#include <optional>

#include "utf8.h"

namespace corvella {

namespace {

constexpr std::string_view kEndOfFormat = "^XZ";
constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsAsciiByte(char c) { return static_cast<unsigned char>(c) < 0x80; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The code point that ends right before `end`; U+FFFD when the bytes there
// are not a well-formed sequence (as a reader that replaces bad sequences
// sees them).
char32_t CodePointBefore(std::string_view text, size_t end) {
  size_t start = end - 1;
  while (start > 0 && end - start < 4 && IsContinuationByte(text[start])) --start;
  size_t offset = start;
  std::optional<char32_t> code_point = DecodeUtf8(text, offset);
  return code_point && offset == end ? *code_point : kReplacementCharacter;
}

char32_t CodePointAt(std::string_view text, size_t start) {
  size_t offset = start;
  return DecodeUtf8(text, offset).value_or(kReplacementCharacter);
}

int32_t ClusterBreak(char32_t code_point) {
  return u_getIntPropertyValue(static_cast<UChar32>(code_point), UCHAR_GRAPHEME_CLUSTER_BREAK);
}

// "^" begins a character unless a prepended mark comes right before it: no
// other rule of the character model joins "^" to what precedes it.
bool StartsCharacter(std::string_view text, size_t at) {
  if (at == 0 || IsAsciiByte(text[at - 1])) return true;
  return ClusterBreak(CodePointBefore(text, at)) != U_GCB_PREPEND;
}

// "Z" ends its character unless an extending mark, a spacing mark or a
// zero-width joiner follows it.
bool EndsCharacter(std::string_view text, size_t end) {
  if (end == text.size() || IsAsciiByte(text[end])) return true;
  const int32_t next = ClusterBreak(CodePointAt(text, end));
  return next != U_GCB_EXTEND && next != U_GCB_ZWJ && next != U_GCB_SPACING_MARK;
}

// Calls `line_end(position, length)` for each CR LF (length 2), lone CR and
// lone LF (length 1), in order. memchr finds each of the two bytes, so text
// without line ends is crossed at memory speed.
template <typename LineEndFn>
void ForEachLineEnd(std::string_view text, LineEndFn line_end) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const auto find = [end](const char* from, char byte) {
    const void* found = std::memchr(from, byte, static_cast<size_t>(end - from));
    return found != nullptr ? static_cast<const char*>(found) : end;
  };
  if (text.empty()) return;
  const char* next_cr = find(begin, '\r');
  const char* next_lf = find(begin, '\n');
  while (next_cr != end || next_lf != end) {
    if (next_cr < next_lf) {
      const bool pair = next_lf != end && next_cr + 1 == next_lf;
      line_end(static_cast<size_t>(next_cr - begin), pair ? size_t{2} : size_t{1});
      if (pair) next_lf = find(next_lf + 1, '\n');
      next_cr = find(next_cr + 1, '\r');
    } else {
      line_end(static_cast<size_t>(next_lf - begin), size_t{1});
      next_lf = find(next_lf + 1, '\n');
    }
  }
}

}  // namespace

bool ContainsEndOfFormat(std::string_view zpl) {
  // Every ZPL command starts with "^", while "Z" is rare outside "^XZ": the
  // search looks for each "Z" (memchr, at memory speed) and then at the two
  // bytes before it.
  const char* const begin = zpl.data();
  const char* const end = begin + zpl.size();
  if (zpl.size() < kEndOfFormat.size()) return false;
  for (const char* from = begin + 2; from < end;) {
    const char* z =
        static_cast<const char*>(std::memchr(from, 'Z', static_cast<size_t>(end - from)));
    if (z == nullptr) return false;
    from = z + 1;
    if (z[-1] != 'X' || z[-2] != '^') continue;
    const size_t at = static_cast<size_t>(z - 2 - begin);
    if (StartsCharacter(zpl, at) && EndsCharacter(zpl, at + kEndOfFormat.size())) return true;
  }
  return false;
}

void NormalizeZplDocumentInPieces(std::string_view zpl,
                                  const std::function<void(std::string_view)>& piece) {
  const bool append = !ContainsEndOfFormat(zpl);
  size_t copied = 0;
  ForEachLineEnd(zpl, [&](size_t position, size_t length) {
    if (position > copied) piece(zpl.substr(copied, position - copied));
    piece("\r\n");
    copied = position + length;
  });
  if (zpl.size() > copied) piece(zpl.substr(copied));
  // "^XZ" holds no line end, so appending it after the line ends are
  // rewritten gives the same bytes as appending it first.
  if (append) piece(kEndOfFormat);
}

std::string NormalizeZplDocument(std::string_view zpl) {
  // Every line end becomes two bytes: CR LF keeps its size, a lone CR or LF
  // grows by one. The exact size is reserved up front, so a large document
  // is never copied while it grows.
  size_t lone_line_ends = 0;
  ForEachLineEnd(zpl, [&](size_t, size_t length) {
    if (length == 1) ++lone_line_ends;
  });
  std::string normalized;
  normalized.reserve(zpl.size() + lone_line_ends + kEndOfFormat.size());
  NormalizeZplDocumentInPieces(zpl, [&](std::string_view piece) { normalized.append(piece); });
  return normalized;
}

}  // namespace corvella
