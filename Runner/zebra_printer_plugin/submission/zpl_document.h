#pragma once

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

// The same text as NormalizeZplDocument, given out front to back in pieces
// (views into the document, "\r\n" and "^XZ"), so that it can be written
// out, as often as needed, without ever being held whole. The document must
// outlive the pieces.
class ZplDocumentPieces {
 public:
  explicit ZplDocumentPieces(std::string_view zpl)
      : zpl_(zpl), append_end_of_format_(!ContainsEndOfFormat(zpl)) {}

  // The next piece; an empty one once the whole text has been given.
  std::string_view next();

  // Starts again from the front.
  void rewind();

 private:
  std::string_view zpl_;
  bool append_end_of_format_;
  // How much of the document has been given out, and where its next CR
  // and LF stand (their searches never cross the same bytes twice).
  size_t given_ = 0;
  size_t next_cr_ = 0;
  size_t next_lf_ = 0;
  bool searched_ = false;
  bool ended_ = false;
};

}  // namespace corvella
