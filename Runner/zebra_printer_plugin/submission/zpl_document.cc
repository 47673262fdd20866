#include "submission/zpl_document.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "text/utf8.h"

namespace corvella {

namespace {

constexpr std::string_view kEndOfFormat = "^XZ";
constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsAsciiByte(char c) { return static_cast<unsigned char>(c) < 0x80; }

char32_t CodePointAt(std::string_view text, size_t start) {
  size_t offset = start;
  return DecodeUtf8(text, offset).value_or(kReplacementCharacter);
}

// The code point that ends right before `end`; U+FFFD when the bytes there
// are not a well-formed sequence (as a reader that replaces bad sequences
// sees them).
char32_t CodePointBefore(std::string_view text, size_t end) {
  std::optional<size_t> start = PreviousCodePointStart(text, end);
  return start ? CodePointAt(text, *start) : kReplacementCharacter;
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

std::string_view ZplDocumentPieces::next() {
  static constexpr std::string_view kLineEnd = "\r\n";
  if (given_ < zpl_.size()) {
    const auto find = [this](char byte) {
      const void* found = std::memchr(zpl_.data() + given_, byte, zpl_.size() - given_);
      return found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - zpl_.data())
                              : zpl_.size();
    };
    if (!searched_ || next_cr_ < given_) next_cr_ = find('\r');
    if (!searched_ || next_lf_ < given_) next_lf_ = find('\n');
    searched_ = true;
    const size_t line_end = std::min(next_cr_, next_lf_);
    if (line_end > given_) {
      const std::string_view text = zpl_.substr(given_, line_end - given_);
      given_ = line_end;
      return text;
    }
    // CR LF, a lone CR or a lone LF: each becomes CR LF.
    const bool pair = next_cr_ == line_end && next_lf_ == line_end + 1;
    given_ = line_end + (pair ? 2 : 1);
    return kLineEnd;
  }
  // "^XZ" holds no line end, so appending it after the line ends are
  // rewritten gives the same bytes as appending it first.
  if (append_end_of_format_ && !ended_) {
    ended_ = true;
    return kEndOfFormat;
  }
  ended_ = true;
  return {};
}

void ZplDocumentPieces::rewind() {
  given_ = 0;
  searched_ = false;
  ended_ = false;
}

std::string NormalizeZplDocument(std::string_view zpl) {
  ZplDocumentPieces pieces(zpl);
  size_t size = 0;
  for (std::string_view piece = pieces.next(); !piece.empty(); piece = pieces.next())
    size += piece.size();
  // The exact size is reserved up front, so a large document is never
  // copied while it grows.
  std::string normalized;
  normalized.reserve(size);
  pieces.rewind();
  for (std::string_view piece = pieces.next(); !piece.empty(); piece = pieces.next())
    normalized.append(piece);
  return normalized;
}

}  // namespace corvella
