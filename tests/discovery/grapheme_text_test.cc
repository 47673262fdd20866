#include "text/grapheme_text.h"

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The pieces between clusters equal to `separator`, found the slow and
// obvious way: ICU's character iterator over the whole text.
std::vector<std::string> ReferenceSplit(const std::string& text, char separator) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> clusters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  EXPECT_TRUE(U_SUCCESS(status));
  icu::UnicodeString utf16 = icu::UnicodeString::fromUTF8(text);
  clusters->setText(utf16);
  std::vector<std::string> pieces;
  std::string piece;
  for (int32_t start = clusters->first(), end = clusters->next(); end != icu::BreakIterator::DONE;
       start = end, end = clusters->next()) {
    std::string cluster;
    utf16.tempSubStringBetween(start, end).toUTF8String(cluster);
    if (cluster == std::string(1, separator)) {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece += cluster;
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  for (std::string_view piece : corvella::SplitAtCharacter(text, separator)) {
    pieces.emplace_back(piece);
  }
  return pieces;
}

TEST(GraphemeText, SplittingAgreesWithTheCharacterRulesOnTrickyText) {
  const std::string samples[] = {
      "Q1 a\nQ2 b\n",
      "Q1\r\nQ2\rQ3\n\rQ4",                          // CR LF is one character, not a line feed
      "a\n\u0301b c\u0301d e :\u0308f",              // marks after LF, space and colon
      "\u0600 x\n\u0600\ny",                         // a prepended mark joins what follows
      "\U0001F469\u200D\n\U0001F44D\U0001F3FD x\n",  // ZWJ and modifier sequences
      "\U0001F1E9\U0001F1EA \U0001F1EB\n\u3000\u00e9\n",
      "\n\n \n  \r\n\n",
  };
  for (const std::string& text : samples) {
    SCOPED_TRACE(text);
    for (char separator : {'\n', ' ', ':'}) {
      EXPECT_EQ(Split(text, separator), ReferenceSplit(text, separator)) << "at " << separator;
    }
  }
}

TEST(GraphemeText, SplitAndSearchAgreeOnNonAsciiText) {
  // Text that is not valid UTF-8 still splits, and nothing is lost.
  std::string broken = "A\xff B\n\xc3";
  auto pieces = corvella::SplitAtCharacter(broken, ' ');
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "A\xff");
  EXPECT_EQ(pieces[1], "B\n\xc3");
  EXPECT_EQ(corvella::FindLastCharacter("é:ü:ö", ':'), 5u);
  EXPECT_EQ(corvella::FindLastCharacter("\u00e9\u0301", ':'), std::nullopt);
}

}  // namespace
