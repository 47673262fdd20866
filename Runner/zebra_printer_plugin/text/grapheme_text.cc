#include "text/grapheme_text.h"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace corvella {

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Walks the character boundaries of one text. ASCII text, the common case
// for CUPS output, is walked directly: there every byte is a character except
// that CR LF is one. Anything else goes through ICU's character break
// iterator, one instance per thread (so walks on one thread must not nest).
class CharacterBoundaries {
 public:
  explicit CharacterBoundaries(std::string_view text) : text_(text), ascii_(IsAscii(text)) {
    if (ascii_) return;
    UErrorCode status = U_ZERO_ERROR;
    utext_ = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    icu::BreakIterator* iterator = threadIterator();
    if (U_FAILURE(status) || iterator == nullptr) {
      // Without ICU the text still splits, by bytes, and nothing is lost.
      ascii_ = true;
      return;
    }
    iterator->setText(utext_, status);
    iterator_ = U_SUCCESS(status) ? iterator : nullptr;
    if (iterator_ == nullptr) ascii_ = true;
  }
  ~CharacterBoundaries() {
    if (utext_ != nullptr) utext_close(utext_);
  }
  CharacterBoundaries(const CharacterBoundaries&) = delete;
  CharacterBoundaries& operator=(const CharacterBoundaries&) = delete;

  // The end of the character that starts at the current position, or npos
  // at the end of the text.
  size_t next() {
    if (position_ >= text_.size()) return std::string_view::npos;
    if (ascii_) {
      bool crlf =
          text_[position_] == '\r' && position_ + 1 < text_.size() && text_[position_ + 1] == '\n';
      position_ += crlf ? 2 : 1;
    } else {
      int32_t boundary = iterator_->next();
      position_ =
          boundary == icu::BreakIterator::DONE ? text_.size() : static_cast<size_t>(boundary);
    }
    return position_;
  }

 private:
  static icu::BreakIterator* threadIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
      UErrorCode status = U_ZERO_ERROR;
      std::unique_ptr<icu::BreakIterator> created(
          icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
      if (U_FAILURE(status)) created.reset();
      return created;
    }();
    return iterator.get();
  }

  std::string_view text_;
  bool ascii_;
  size_t position_ = 0;
  UText* utext_ = nullptr;
  icu::BreakIterator* iterator_ = nullptr;
};

// Calls `piece(begin, end)` for each non-empty piece between separators;
// stops early when it returns false.
template <typename PieceFn>
void ForEachPiece(std::string_view text, char separator, PieceFn piece) {
  if (separator == '\n') {
    // A line feed is a character of its own whatever surrounds it (the
    // character rules break before and after every control character),
    // except right after a CR, where CR LF is one character. So lines are
    // found on the bytes, with no break iterator over the whole text.
    size_t piece_start = 0;
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
      if (at > 0 && text[at - 1] == '\r') continue;
      if (at > piece_start && !piece(piece_start, at)) return;
      piece_start = at + 1;
    }
    if (text.size() > piece_start) piece(piece_start, text.size());
    return;
  }
  CharacterBoundaries boundaries(text);
  size_t piece_start = 0;
  size_t start = 0;
  for (size_t end = boundaries.next(); end != std::string_view::npos;
       start = end, end = boundaries.next()) {
    if (end - start == 1 && text[start] == separator) {
      if (start > piece_start && !piece(piece_start, start)) return;
      piece_start = end;
    }
  }
  if (text.size() > piece_start) piece(piece_start, text.size());
}

}  // namespace

std::vector<std::string_view> SplitAtCharacter(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  ForEachPiece(text, separator, [&](size_t begin, size_t end) {
    pieces.push_back(text.substr(begin, end - begin));
    return true;
  });
  return pieces;
}

std::optional<std::string_view> FirstPiece(std::string_view text, char separator) {
  std::optional<std::string_view> first;
  ForEachPiece(text, separator, [&](size_t begin, size_t end) {
    first = text.substr(begin, end - begin);
    return false;
  });
  return first;
}

std::optional<size_t> FindLastCharacter(std::string_view text, char separator) {
  std::optional<size_t> last;
  CharacterBoundaries boundaries(text);
  size_t start = 0;
  for (size_t end = boundaries.next(); end != std::string_view::npos;
       start = end, end = boundaries.next()) {
    if (end - start == 1 && text[start] == separator) last = start;
  }
  return last;
}

std::string CanonicalForm(std::string_view text) {
  if (IsAscii(text) || text.size() > INT32_MAX) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  std::string normalized;
  icu::StringByteSink<std::string> sink(&normalized);
  nfc->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                     nullptr, status);
  if (U_FAILURE(status)) return std::string(text);
  return normalized;
}

}  // namespace corvella
