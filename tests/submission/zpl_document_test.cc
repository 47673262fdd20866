// The document rules on characters, against a model built on ICU's own
// character segmentation of the whole text.
#include "submission/zpl_document.h"

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using corvella::ContainsEndOfFormat;
using corvella::NormalizeZplDocument;

// The user-perceived characters of valid UTF-8 `text`, as ICU splits them.
std::vector<std::string> Characters(const std::string& text) {
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  EXPECT_TRUE(U_SUCCESS(status));
  iterator->setText(unicode);
  std::vector<std::string> characters;
  for (int32_t start = iterator->first(), end = iterator->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator->next()) {
    std::string character;
    unicode.tempSubStringBetween(start, end).toUTF8String(character);
    characters.push_back(character);
  }
  return characters;
}

// The rules stated on characters: "^XZ" is three characters in a row; each
// line-end character (CR LF, CR, LF) becomes CR LF.
std::string ModelNormalize(const std::string& text) {
  const std::vector<std::string> characters = Characters(text);
  bool terminated = false;
  for (size_t i = 0; i + 2 < characters.size(); ++i) {
    terminated = terminated ||
                 (characters[i] == "^" && characters[i + 1] == "X" && characters[i + 2] == "Z");
  }
  std::string out;
  for (const std::string& character : characters) {
    const bool line_end = character == "\r\n" || character == "\r" || character == "\n";
    out += line_end ? "\r\n" : character;
  }
  return terminated ? out : out + "^XZ";
}

TEST(ZplDocument, AgreesWithTheCharacterModelOnRandomMixedText) {
  // ASCII, line ends, and code points of each kind that can join a
  // neighbour into one character: extending and spacing marks, the zero-width
  // joiner, prepended marks, regional indicators, emoji, Hangul jamo.
  const std::vector<std::string> pieces = {"^",
                                           "X",
                                           "Z",
                                           "^XZ",
                                           "x",
                                           "z",
                                           "\r",
                                           "\n",
                                           "\r\n",
                                           " ",
                                           "a",
                                           "\xCC\x81" /* U+0301 */,
                                           "\xE2\x80\x8D" /* U+200D */,
                                           "\xE0\xA4\x83" /* U+0903 */,
                                           "\xD8\x80" /* U+0600 */,
                                           "\xE0\xB5\x8E" /* U+0D4E */,
                                           "\xF0\x9F\x87\xA9" /* U+1F1E9 */,
                                           "\xF0\x9F\x98\x80" /* U+1F600 */,
                                           "\xE1\x84\x80" /* U+1100 */,
                                           "\xC3\xA9",
                                           "\xEF\xBF\xBD" /* U+FFFD */};
  std::mt19937 random(20240601);
  std::uniform_int_distribution<size_t> length(0, 12);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (size_t n = length(random); n > 0; --n) text += pieces[pick(random)];
    ASSERT_EQ(NormalizeZplDocument(text), ModelNormalize(text))
        << "for " << testing::PrintToString(text);
  }
}

TEST(ZplDocument, EndOfFormatMustBeThreeWholeCharacters) {
  EXPECT_TRUE(ContainsEndOfFormat("^XZ"));
  EXPECT_TRUE(ContainsEndOfFormat("\xC3\xA9^XZ\xC3\xA9"));  // non-ASCII neighbours that do not join
  EXPECT_FALSE(ContainsEndOfFormat("^XZ\xCC\x81"));         // Z + combining acute
  EXPECT_FALSE(ContainsEndOfFormat("^XZ\xE2\x80\x8D"));     // Z + zero-width joiner
  EXPECT_FALSE(ContainsEndOfFormat("^XZ\xE0\xA4\x83"));     // Z + spacing mark
  EXPECT_FALSE(ContainsEndOfFormat("\xD8\x80^XZ"));         // prepended mark + ^
  EXPECT_FALSE(ContainsEndOfFormat("^X\xCC\x81Z"));
  EXPECT_TRUE(ContainsEndOfFormat("^XZ\xCC\x81 and ^XZ")) << "a later whole one counts";
  EXPECT_FALSE(ContainsEndOfFormat("^xZ"));
  EXPECT_FALSE(ContainsEndOfFormat("^X Z"));
  EXPECT_FALSE(ContainsEndOfFormat(""));
}

TEST(ZplDocument, BytesThatAreNotUtf8AreKeptAndNeverJoinACharacter) {
  // A bad sequence reads as U+FFFD, which joins nothing; its bytes stay.
  EXPECT_EQ(NormalizeZplDocument("\xFF^XZ\xFF"), "\xFF^XZ\xFF");
  EXPECT_EQ(NormalizeZplDocument("\x80^XZ\xCC"), "\x80^XZ\xCC");
  // Truncated sequences before "^": the continuation bytes of U+0600 alone,
  // and its lead byte cut off from them by "^".
  EXPECT_EQ(NormalizeZplDocument("\x80^XZ"), "\x80^XZ");
  EXPECT_EQ(NormalizeZplDocument("\xD8^XZ\x80"), "\xD8^XZ\x80");
  // A well-formed prepended mark after bad bytes still joins the "^".
  EXPECT_EQ(NormalizeZplDocument("\xF0\xD8\x80^XZ"), "\xF0\xD8\x80^XZ^XZ");
  EXPECT_EQ(NormalizeZplDocument("\xFF\n\xFE\r"), "\xFF\r\n\xFE\r\n^XZ");
  EXPECT_EQ(NormalizeZplDocument(std::string("A\0B\n", 4)), std::string("A\0B\r\n^XZ", 8));
}

TEST(ZplDocument, LongDocumentsKeepEveryByte) {
  // Line ends at the edges of the text and runs of every kind, far apart.
  std::string document(1 << 20, 'x');
  document[0] = '\n';
  document[5000] = '\r';
  document[5001] = '\n';
  document[70000] = '\r';
  document.back() = '\r';
  std::string expected = document;
  expected.replace(document.size() - 1, 1, "\r\n");
  expected.replace(70000, 1, "\r\n");
  expected.replace(0, 1, "\r\n");
  expected += "^XZ";
  EXPECT_EQ(NormalizeZplDocument(document), expected);
}

}  // namespace
