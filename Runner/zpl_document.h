#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corvella {

// The form in which a label document goes to the printer: it holds the
// end-of-format command "^XZ" and every line ends in CR LF.
//
// Both rules work on user-perceived characters (extended grapheme clusters).
// "^XZ" counts only as three whole characters: a "Z" that carries a combining
// mark, or a "^" joined to a prepended mark before it, is another character.
// CR and LF always stand alone as characters (a control character never
// joins its neighbours), except that CR LF is one character, so the line-end
// rules on characters give the same result as on bytes and are done on bytes.
//
// Text that is not valid UTF-8 is read with U+FFFD in place of each bad
// sequence and its bytes are kept as they are.

// True when `zpl` holds the characters "^", "X", "Z" one after another
// (case-sensitive), anywhere.
bool ContainsEndOfFormat(std::string_view zpl);

// `zpl` with "^XZ" appended when it holds none, then with every CR LF, lone
// CR and lone LF written as CR LF. Never empty.
std::string NormalizeZplDocument(std::string_view zpl);

// The same text as NormalizeZplDocument, handed to `piece` in order as
// pieces (views into `zpl` or constants), so that it can be written out
// without ever being held whole.
void NormalizeZplDocumentInPieces(std::string_view zpl,
                                  const std::function<void(std::string_view)>& piece);

}  // namespace corvella
