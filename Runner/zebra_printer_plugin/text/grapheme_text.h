#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella {

// Splitting and searching of UTF-8 text on user-perceived characters
// (extended grapheme clusters). A separator matches only a character that is
// exactly that one code point: "\r\n" is one character and not a line feed,
// and a space or colon followed by a combining mark is not a separator.
// Text that is not valid UTF-8 is read with U+FFFD for each bad sequence.

// The pieces of `text` between characters equal to `separator` (an ASCII
// character), in order, with empty pieces dropped. The views point into
// `text`.
std::vector<std::string_view> SplitAtCharacter(std::string_view text, char separator);

// The first non-empty piece of the split above, or nothing when every piece
// is empty.
std::optional<std::string_view> FirstPiece(std::string_view text, char separator);

// The byte offset of the last character of `text` equal to `separator`.
std::optional<size_t> FindLastCharacter(std::string_view text, char separator);

// The canonical (NFC) form of `text`: two texts are equal as Unicode text
// exactly when their canonical forms are equal bytes.
std::string CanonicalForm(std::string_view text);

}  // namespace corvella
