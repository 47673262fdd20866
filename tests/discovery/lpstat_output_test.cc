#include "cups/lpstat_output.h"

#include <gtest/gtest.h>

#include "text/grapheme_text.h"

namespace {

using corvella::LpstatOutput;
using Names = std::vector<std::string>;

// Recorded `lpstat -a` answers: one accepting queue, one rejecting (its
// reason on a tab continuation line), one disabled but accepting.
constexpr const char* kEnglishA =
    "Zebra_Shipping accepting requests since Sun 06 Dec 2026 10:00:01 AM UTC\n"
    "Zebra_Returns not accepting requests since Sun 06 Dec 2026 10:00:02 AM UTC -\n"
    "\tout of labels: reload roll 2\n"
    "Office_Laser accepting requests since Sun 06 Dec 2026 10:00:03 AM UTC\n";
constexpr const char* kGermanA =
    "Zebra_Shipping akzeptiert Anfragen seit So 06 Dez 2026 10:00:01 UTC\n"
    "Zebra_Returns akzeptiert keine Anfragen seit So 06 Dez 2026 10:00:02 UTC -\n"
    "\tRejecting Jobs\n"
    "Office_Laser akzeptiert Anfragen seit So 06 Dez 2026 10:00:03 UTC\n";
constexpr const char* kSpanishA =
    "Zebra_Shipping aceptando peticiones desde dom 06 dic 2026 10:00:01 UTC\n"
    "Zebra_Returns no acepta peticiones desde dom 06 dic 2026 10:00:02 UTC -\n"
    "\treason unknown\n"
    "Office_Laser aceptando peticiones desde dom 06 dic 2026 10:00:03 UTC\n";
constexpr const char* kChineseA =
    "Zebra_Shipping 自从 2026年12月06日 星期日 10时00分01秒 开始接受请求\n"
    "Zebra_Returns 自从 2026年12月06日 星期日 10时00分02秒 不再接受请求\n"
    "\tRejecting Jobs\n"
    "Office_Laser 自从 2026年12月06日 星期日 10时00分03秒 开始接受请求\n";

TEST(LpstatA, ListsQueuesInOrderInEveryLanguageAndSkipsReasonLines) {
  const Names expected{"Zebra_Shipping", "Zebra_Returns", "Office_Laser"};
  for (const char* output : {kEnglishA, kGermanA, kSpanishA, kChineseA}) {
    EXPECT_EQ(LpstatOutput::printerNames(output), expected) << output;
  }
}

TEST(LpstatA, FirstWordRules) {
  // Repeats keep the first place; leading spaces are skipped; a line
  // without a space is one name; an inner space cuts the name.
  EXPECT_EQ(LpstatOutput::printerNames("A x\nB y\nA z\n"), (Names{"A", "B"}));
  EXPECT_EQ(LpstatOutput::printerNames("\n   \n   C accepting\n"), (Names{"C"}));
  EXPECT_EQ(LpstatOutput::printerNames("Lone\n"), (Names{"Lone"}));
  // A tab inside the first word is trimmed off its end; the trimmed name
  // equals the plain one.
  EXPECT_EQ(LpstatOutput::printerNames("A\t more\nA rest\n"), (Names{"A"}));
  // Only a tab at the very start marks a continuation.
  EXPECT_EQ(LpstatOutput::printerNames(" \tB x\n"), (Names{"B"}));
  EXPECT_EQ(LpstatOutput::printerNames("\tonly a reason\n"), Names{});
  // A no-break space is no separator, and a first word of only a no-break
  // space trims to nothing: the line offers nothing, its later words are
  // not tried.
  EXPECT_EQ(LpstatOutput::printerNames("Q\u00a0R s\n\u00a0 T\n"), (Names{"Q\u00a0R"}));
  EXPECT_EQ(LpstatOutput::printerNames(""), Names{});
}

TEST(LpstatA, SplitsOnCharactersNotCodePoints) {
  // CR LF is one character and not a line feed: the whole output is one
  // line and offers only its first word.
  EXPECT_EQ(LpstatOutput::printerNames("A x\r\nB y\r\n"), (Names{"A"}));
  // A space followed by a combining mark is not a separator. A line feed
  // always is: a control character never joins what follows it.
  EXPECT_EQ(LpstatOutput::printerNames("Caf \u0301e accepting\n"), (Names{"Caf \u0301e"}));
  EXPECT_EQ(LpstatOutput::printerNames("A x\n\u0301B y\n"), (Names{"A", "\u0301B"}));
  // A precomposed and a decomposed é are the same name.
  EXPECT_EQ(LpstatOutput::printerNames("Caf\u00e9 x\nCafe\u0301 y\nCAF\u00c9 z\n"),
            (Names{"Caf\u00e9", "CAF\u00c9"}));
}

TEST(Unique, TrimsDropsEmptiesAndKeepsFirstForms) {
  EXPECT_EQ(LpstatOutput::unique(Names{"  Office Laser ", "", "\u3000", "Office Laser",
                                       "office laser", "Label\u2028", "Label"}),
            (Names{"Office Laser", "office laser", "Label"}));
  EXPECT_EQ(LpstatOutput::unique(Names{}), Names{});
}

TEST(LpstatD, OnlyTheColonRuleNamesADefault) {
  struct Case {
    const char* output;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"system default destination: Zebra_Shipping\n", "Zebra_Shipping"},
      {"systemvoreingestelltes Ziel: Zebra_Shipping\n", "Zebra_Shipping"},
      {"destino predeterminado del sistema: Zebra_Shipping\n", "Zebra_Shipping"},
      {"a: b: Last One \n", "Last One"},
      {"x:  Multi\nLine  \n", "Multi\nLine"},
      // "No default" in four languages (the Chinese form with a full-width
      // colon), a trailing colon, and lpstat's diagnostics name none.
      {"no system default destination\n", std::nullopt},
      {"keine systemvoreingestellten Ziele\n", std::nullopt},
      {"no hay un destino predeterminado del sistema\n", std::nullopt},
      {"\u7cfb\u7edf\u9ed8\u8ba4\u76ee\u6807\uff1aZebra_Shipping\n", std::nullopt},
      {"\u65e0\u7cfb\u7edf\u9ed8\u8ba4\u76ee\u6807\n", std::nullopt},
      {"default destination:\n", std::nullopt},
      {"lpstat: error - LPDEST environment variable names non-existent destination "
       "\"Gone\".\n",
       std::nullopt},
      {"  lpstat: something: else\n", std::nullopt},
      {"", std::nullopt},
      {" \n\t\n", std::nullopt},
      // A colon followed by a combining mark is not a colon.
      {"dest:\u0301 Q\n", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LpstatOutput::defaultPrinter(c.output), c.expected) << '"' << c.output << '"';
  }
}

}  // namespace
