// Text as the printer sets it: font metrics, bitmap cells, fall-backs,
// fields that follow the one before and code pages.

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/zpl/label_picture.h"

namespace corvella::zpl {
namespace {

// Where each run of ink starts, left to right.
std::vector<int> InkStarts(const Picture& picture) {
  std::vector<int> starts;
  for (int x = 0; x < picture.width; ++x) {
    if (picture.count(x, 0, x + 1, picture.height) > 0 &&
        picture.count(x - 1, 0, x, picture.height) == 0)
      starts.push_back(x);
  }
  return starts;
}

// Font 0 moves the pen by the printer's advance of each character, not by
// the drawn face's: digits half the font width, a hyphen 0.8 of it, at any
// height; a following field starts after the advances of the one before.
TEST_F(LabelPictureTest, FontZeroAdvancesByThePrintersCharacterWidths) {
  for (auto [h, w] : {std::pair{50, 50}, std::pair{80, 60}, std::pair{40, 80}}) {
    SCOPED_TRACE(std::to_string(h) + "," + std::to_string(w));
    const std::string font = "^A0N," + std::to_string(h) + "," + std::to_string(w);
    const std::vector<int> digits = InkStarts(one("^XA^FO50,50" + font + "^FD0000000000^FS^XZ"));
    ASSERT_EQ(digits.size(), 10u);
    EXPECT_NEAR((digits[9] - digits[0]) / 9.0, 0.5 * w, 0.02 * w);
    const std::vector<int> hyphens = InkStarts(one("^XA^FO50,50" + font + "^FD0-0-0-0^FS^XZ"));
    ASSERT_EQ(hyphens.size(), 7u);
    EXPECT_NEAR((hyphens[6] - hyphens[0]) / 3.0, (0.5 + 0.8) * w, 0.03 * w);
    // A field after "--" starts two hyphens' advances on: where "--0" has
    // its 0.
    const std::vector<int> after =
        InkStarts(one("^XA^FT50,200" + font + "^FD--^FS^FT" + font + "^FD0^FS^XZ"));
    const std::vector<int> whole = InkStarts(one("^XA^FT50,200" + font + "^FD--0^FS^XZ"));
    ASSERT_EQ(after.size(), 3u);
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_NEAR(after[2], whole[2], 1);
    EXPECT_NEAR(whole[1] - whole[0], 0.8 * w, 1);
  }
}

// Font 0's glyphs are the printer's: each as wide as its ink in the
// printer's pictures (a condensed face's, its M wide and its rounds
// narrow), and no darker: a word has the ink the printer gives it.
TEST_F(LabelPictureTest, FontZeroGlyphsHaveThePrintersInk) {
  struct Glyph {
    const char* field;
    int width;  // of the ink, in the printer's pictures
  };
  for (const Glyph& glyph : std::vector<Glyph>{{"^A0N,100,100^FDM", 70},
                                               {"^A0N,100,100^FDC", 47},
                                               {"^A0N,100,100^FDl", 13},
                                               {"^A0N,30,20^FDA", 11},
                                               {"^A0N,30,20^FDE", 8}}) {
    SCOPED_TRACE(glyph.field);
    const Picture::Box box = one(std::string("^XA^FO50,50") + glyph.field + "^FS^XZ").inkBox();
    EXPECT_NEAR(box.right - box.left + 1, glyph.width, 1.5);
  }
  struct Word {
    const char* field;
    int dots;  // of ink in the printer's picture
  };
  for (const Word& word : std::vector<Word>{{"^FO30,30^A0N,,28^FDGOGREEN", 1474},
                                            {"^FT10,200^A0N,120,100^FDSale", 7728}}) {
    SCOPED_TRACE(word.field);
    const Picture picture = one(std::string("^XA") + word.field + "^FS^XZ");
    EXPECT_NEAR(picture.count(0, 0, picture.width, picture.height), word.dots, 0.07 * word.dots);
  }
}

TEST_F(LabelPictureTest, FontsMarksAndSymbolsHaveAPrintersMetrics) {
  // Font 0: capitals 0.75 h tall from the origin down, E's 0.508 w apart.
  for (auto [h, w] : {std::pair{28, 28}, std::pair{40, 40}, std::pair{60, 30}, {100, 100}}) {
    SCOPED_TRACE(std::to_string(h) + "," + std::to_string(w));
    const Picture picture = one("^XA^FO50,50^A0N," + std::to_string(h) + "," + std::to_string(w) +
                                "^FDEEEEEEEEEE^FS^XZ");
    const Picture::Box box = picture.inkBox();
    EXPECT_EQ(box.top, 50);
    EXPECT_NEAR(box.bottom - box.top + 1, 0.75 * h, 1);
    const std::vector<int> starts = InkStarts(picture);
    ASSERT_EQ(starts.size(), 10u);
    EXPECT_NEAR((starts[9] - starts[0]) / 9.0, 0.508 * w, 0.02 * w);
  }
  // The interpretation line: digits 6 modules apart and 7.5 modules tall,
  // 2.5 modules below the bars.
  for (int m : {2, 4}) {
    const Picture picture =
        one("^XA^BY" + std::to_string(m) + "^FO50,50^BCN,80,Y,N,N^FD>;12345678^FS^XZ");
    const Picture::Box line = picture.inkBox(0, 131, picture.width, picture.height);
    EXPECT_NEAR(line.top, 130 + (5 * m + 1) / 2, 1) << m;
    EXPECT_NEAR(line.bottom - line.top + 1, 7.5 * m, 1.5) << m;
    EXPECT_NEAR(line.right - line.left + 1, 8 * 6 * m - m, 2 * m) << m;
  }
  // Its strokes are lighter than font 0's: at 3 dots a module the line of
  // 34 digits has 4,469 dots of ink in the printer's picture.
  const Picture digits =
      one("^XA^BY3^FO50,50^BCN,80,Y,N^FD>;9632080400200044387502171053828143^FS^XZ");
  EXPECT_NEAR(digits.count(0, 131, digits.width, digits.height), 4469, 0.2 * 4469);
  // Above the bars the line keeps its 2.5 modules from them, its capitals'
  // tops the field's top; turned (R), the line's edge is the field's.
  for (int m : {2, 3}) {
    const std::string by = "^XA^BY" + std::to_string(m);
    const Picture above = one(by + "^FO50,50^BCN,80,Y,Y^FD>;12345678^FS^XZ");
    int bars = 0;  // the start character's first bar
    while (bars < above.height && !above.black(50, bars)) ++bars;
    const Picture::Box over = above.inkBox(0, 0, above.width, bars);
    EXPECT_NEAR(over.top, 50, 1) << m;  // round digits overshoot a little
    EXPECT_NEAR(bars - over.bottom - 1, 2.5 * m, 1) << m;
    const Picture turned = one(by + "^FO50,50^BCR,80,Y,N^FD>;12345678^FS^XZ");
    bars = 0;
    while (bars < turned.width && !turned.black(bars, 50)) ++bars;
    const Picture::Box beside = turned.inkBox(0, 0, bars, turned.height);
    EXPECT_NEAR(beside.left, 50, 1) << m;
    EXPECT_NEAR(bars - beside.right - 1, 2.5 * m, 1) << m;
  }
  // A QR code placed with ^FO is lower by ^BY's height; with ^FT it ends 7
  // modules above the origin, whatever ^BY says.
  for (auto [by, top] : {std::pair{"^BY3,2,100", 100}, std::pair{"", 10}}) {
    const Picture qr = one(std::string("^XA") + by + "^FO20,0^BQN,2,4^FDQA,CORVELLA^FS^XZ");
    EXPECT_EQ(qr.inkBox().top, top);
    EXPECT_EQ(Scan(qr, ZXing::BarcodeFormat::QRCode), "CORVELLA");
    EXPECT_EQ(
        one(std::string("^XA") + by + "^FT20,300^BQN,2,4^FDQA,CORVELLA^FS^XZ").inkBox().bottom,
        300 - 7 * 4 - 1);
  }
  // Automatic input sets the data in one mode, the narrowest that holds all
  // of it: a letter and 40 digits go out as 41 bytes (version 3, 29 modules
  // a side), not a byte and a run of digits (version 2).
  const std::string mixed = "a0123456789012345678901234567890123456789";
  const Picture one_mode = one("^XA^FO20,20^BQN,2,4^FDMA," + mixed + "^FS^XZ");
  EXPECT_EQ(one_mode.inkBox().right - one_mode.inkBox().left + 1, 29 * 4);
  EXPECT_EQ(Scan(one_mode, ZXing::BarcodeFormat::QRCode), mixed);
  // Data that does not start with a level is drawn at level M.
  const Picture unprefixed = one("^XA^FO20,20^BQN,2,4^FDXYZCORVELLA^FS^XZ");
  const ZXing::Result qr =
      ZXing::ReadBarcode(ZXing::ImageView(unprefixed.luminance.data(), unprefixed.width,
                                          unprefixed.height, ZXing::ImageFormat::Lum),
                         ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
  EXPECT_EQ(qr.text(), "CORVELLA");
  EXPECT_EQ(qr.ecLevel(), "M");
  // ^GS marks in a 72-dot cell: the registered mark a 45-dot ring, the UL
  // mark a 73-dot ring, both reaching above the origin.
  for (auto [letter, side, top] : {std::tuple{'A', 45, 52}, std::tuple{'D', 73, 349}}) {
    const Picture::Box mark = one(std::string("^XA^FO50,") + (letter == 'A' ? "60" : "360") +
                                  "^GSN,72,72^FD" + letter + "^FS^XZ")
                                  .inkBox();
    EXPECT_NEAR(mark.right - mark.left + 1, side, 2) << letter;
    EXPECT_NEAR(mark.bottom - mark.top + 1, side, 2) << letter;
    EXPECT_NEAR(mark.top, top, 2) << letter;
  }
  // Aztec with 95% error correction: 15 layers, 75 modules a side (at 50%,
  // the most libzint's levels give, 23).
  const Picture aztec = one("^XA^FO50,50^BON,5,,95^FDPart:123;Warehouse:BYZA^FS^XZ");
  EXPECT_EQ(aztec.inkBox().right - aztec.inkBox().left + 1, 75 * 5);
  EXPECT_EQ(Scan(aztec, ZXing::BarcodeFormat::Aztec, true), "Part:123;Warehouse:BYZA");
}

// The bitmap fonts are fixed-pitch: each character a cell of the font's
// size and the gap after it (the printer's font matrices), grown by whole
// multiples of the base cell, the nearest to what is asked (^AD,52 is 54
// dots high, as ^AD,54; one side asked, both grow alike).
TEST_F(LabelPictureTest, BitmapFontsStepByTheirCellsAndGaps) {
  struct Row {
    const char* font;
    int pitch;  // cell width and gap, magnified
    int cell;   // cell height, magnified
  };
  for (const Row& row : std::vector<Row>{{"^AAN", 6, 9},
                                         {"^AAN,10,10", 12, 9},
                                         {"^AAN,13", 6, 9},
                                         {"^ADN,52", 36, 54},
                                         {"^ADN,40", 24, 36},
                                         {"^AAN,27,15", 18, 27},
                                         {"^ABN,22", 18, 22},
                                         {"^ADN,36,20", 24, 36},
                                         {"^AEN", 20, 28},
                                         {"^AFN,26,13", 16, 26},
                                         {"^AGN,60,40", 48, 60},
                                         {"^AHN,,26", 38, 42}}) {
    SCOPED_TRACE(row.font);
    const Picture one_cell = one(std::string("^XA^FO50,50") + row.font + "^FDH^FS^XZ");
    const Picture ten = one(std::string("^XA^FO50,50") + row.font + "^FDHHHHHHHHHH^FS^XZ");
    const Picture::Box first = one_cell.inkBox(), all = ten.inkBox();
    EXPECT_NEAR(all.right - first.right, 9 * row.pitch, 1);
    // Capitals 13/18 of the cell tall, their tops 1/18 of it below the origin.
    EXPECT_NEAR(first.bottom - first.top + 1, row.cell * 13.0 / 18, 1.5);
    EXPECT_NEAR(first.top - 50, row.cell / 18.0, 1.5);
  }
}

// A font the printer does not have is its default font (A, or what ^CF
// names), at the size the field asks; ^CF's size holds for a font asked
// without one.
TEST_F(LabelPictureTest, FontsThePrinterLacksAreItsDefaultFont) {
  struct Row {
    const char* drawn;
    const char* same_as;
    size_t warnings;
  };
  for (const Row& row : std::vector<Row>{
           {"^A1N,10,10^FDPackliste", "^AAN,10,10^FDPackliste", 1},
           {"^CFD^AZN,36,20^FDHELLO", "^ADN,36,20^FDHELLO", 1},
           {"^CF1^A9N,36,20^FDHELLO", "^AAN,36,20^FDHELLO", 2},
           {"^CFB,22^FDHELLO", "^ABN,22^FDHELLO", 0},
           {"^CFA,30,10^ABN^FDHELLO", "^ABN,30,10^FDHELLO", 0},
       }) {
    SCOPED_TRACE(row.drawn);
    const Picture drawn = one(std::string("^XA^FO40,60") + row.drawn + "^FS^XZ");
    EXPECT_EQ(last_.labels[0].report.warnings.size(), row.warnings);
    const Picture expected = one(std::string("^XA^FO40,60") + row.same_as + "^FS^XZ");
    EXPECT_GT(expected.count(0, 0, expected.width, expected.height), 50);
    EXPECT_EQ(drawn.luminance, expected.luminance);
  }
}

// ^FT without coordinates starts where the field before it left the pen:
// after its last character, spaces and gaps included, along its direction.
TEST_F(LabelPictureTest, TypesetFieldsWithoutCoordinatesFollowTheOneBefore) {
  for (const char* o : {"N", "R", "I", "B"}) {
    SCOPED_TRACE(o);
    const std::string font = std::string("^AA") + o + ",18,10";
    const Picture split =
        one("^XA^FT300,300" + font + "^FDAB ^FS^FT" + font + "^FDCD ^FS^FT" + font + "^FDEF^FS^XZ");
    const Picture whole = one("^XA^FT300,300" + font + "^FDAB CD EF^FS^XZ");
    EXPECT_GT(whole.count(0, 0, whole.width, whole.height), 200);
    EXPECT_EQ(split.luminance, whole.luminance);
  }
  // A ^GS mark moves the pen on by 0.95 of its 24-dot cell: the label is
  // the mark and the letter where it would stand alone.
  const Picture both = one("^XA^FT100,200^GS^FDC^FS^FT^ADN,18,10^FDH^FS^XZ");
  const Picture mark = one("^XA^FT100,200^GS^FDC^FS^XZ");
  const Picture letter = one("^XA^FT123,200^ADN,18,10^FDH^FS^XZ");
  int wrong = 0;
  for (int y = 0; y < both.height; ++y) {
    for (int x = 0; x < both.width; ++x) {
      wrong += both.black(x, y) != (mark.black(x, y) || letter.black(x, y));
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(mark.count(0, 0, mark.width, mark.height), 20);
}

// ^CI: field bytes read in the code page the label chose, remapped bytes
// swapped, and a number without a code page leaves the one before.
TEST_F(LabelPictureTest, CodePagesDecodeFieldBytes) {
  struct Row {
    const char* code_page;
    const char* bytes;  // through ^FH
    const char* shown;  // the same text in UTF-8
    size_t warnings;
  };
  for (const Row& row : std::vector<Row>{
           {"^CI13", "_9A_E1", "Üß", 0},
           {"^CI27", "_80_E9", "€é", 0},
           {"^CI36", "_8A_B3", "Šł", 0},
           {"^CI31", "_C1_E2", "Αβ", 0},
           {"^CI33", "_E0", "א", 0},
           {"^CI29", "_00A_04_14", "AД", 0},
           {"^CI30", "A_00_14_04", "AД", 0},
           {"^CI0,65,90", "AB", "ZB", 0},
           {"^CI27^CI99", "_80", "€", 1},
           // The national sets: letters in place of ASCII punctuation.
           {"^CI6", "_9A[\\]{|}_7E@", "ÜÄÖÜäöüß§", 0},
           {"^CI2", "#", "£", 0},
           {"^CI4", "[\\]{|}", "ÆØÅæøå", 0},
           {"^CI5", "$@[\\]_5E`{|}_7E", "¤ÉÄÖÅÜéäöåü", 0},
           {"^CI10", "#@[\\]{|}", "£§¡Ñ¿°ñç", 0},
           {"^CI12", "\\A", "¥A", 0},
           {"^CI0", "#[\\]", "#[\\]", 0},
       }) {
    SCOPED_TRACE(row.code_page);
    const Picture drawn =
        one(std::string("^XA") + row.code_page + "^FO40,60^A0N,40,40^FH^FD" + row.bytes + "^FS^XZ");
    EXPECT_EQ(last_.labels[0].report.warnings.size(), row.warnings);
    const Picture expected =
        one(std::string("^XA^CI28^FO40,60^A0N,40,40^FD") + row.shown + "^FS^XZ");
    EXPECT_GT(expected.count(0, 0, expected.width, expected.height), 100);
    EXPECT_EQ(drawn.luminance, expected.luminance);
  }
}

// The largest sizes the commands accept: a text longer than its font can be
// laid out in (Pango counts in ints) is cut with a warning, far past what
// the label shows; nothing overflows (the sanitizer build checks it).
TEST_F(LabelPictureTest, HostileSizesAreCutWithAWarningNotOverflowed) {
  std::string text;
  while (text.size() < 3000) text += "CORVELLA-";
  const std::string head = "^XA^A0N,32000,32000^FO0,0^FD";
  const Picture hostile = one(head + text + "^FS^XZ");
  ASSERT_EQ(last_.labels[0].report.warnings.size(), 1u);
  EXPECT_NE(last_.labels[0].report.warnings[0].find("cut to its first"), std::string::npos);
  EXPECT_EQ(hostile.luminance, one(head + text.substr(0, 100) + "^FS^XZ").luminance);
  // A narrow font runs down the label as far as its text goes.
  const Picture narrow = one("^XA^A0R,32000,10^FO0,0^FD" + text + "^FS^XZ");
  EXPECT_EQ(narrow.inkBox().bottom, narrow.height - 1);
  // A mark stretched past what the text engine can draw stops at 1,000
  // times its height, its letters still there (the sanitizer build's leak
  // check sees a font the engine refused).
  const Picture stretched = one("^XA^FO0,0^GSN,3,32000^FDA^FS^XZ");
  ASSERT_EQ(last_.labels[0].report.warnings.size(), 1u);
  EXPECT_NE(last_.labels[0].report.warnings[0].find("1000 times as wide"), std::string::npos);
  EXPECT_EQ(stretched.luminance, one("^XA^FO0,0^GSN,3,3000^FDA^FS^XZ").luminance);
}

}  // namespace
}  // namespace corvella::zpl
