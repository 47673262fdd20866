// Real labels in the shapes carriers and shops send (tests/zpl/corpus), each
// with what a printer makes of it beside it (NAME.json).

#include <ZXing/ReadBarcode.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_print_system/file_util.h"
#include "tests/zpl/label_picture.h"

namespace corvella::zpl {
namespace {

struct Region {
  int x0, y0, x1, y1;
};

// A symbol a corpus label's NAME.json expects: "format" (ZXing's name),
// "region" [x0, y0, x1, y1] (the symbol and its quiet zone, nothing else),
// "text"; for Code 128 also "modules" from the start character to the end
// of the stop pattern (11 per symbol character, 13 for the stop), "start"
// (the subset), "module_dots" and "vertical" (the bars run down the label).
struct ExpectedSymbol {
  ZXing::BarcodeFormat format;
  Region region;
  std::string text;
  int modules = 0;
  char start = 0;
  int module_dots = 0;
  bool vertical = false;
};

// What a corpus label draws: one entry of symbols for each picture, and
// whether each picture gives one warning ("warning" says which).
struct Expectations {
  std::vector<std::vector<ExpectedSymbol>> pictures;
  bool warns = false;
};

Expectations ReadExpectations(const std::string& name) {
  Expectations out;
  const std::optional<std::string> text =
      testing::ReadFile(std::string(CORVELLA_ZPL_CORPUS) + "/" + name + ".json");
  const nlohmann::json json = nlohmann::json::parse(text.value_or(""), nullptr, false);
  if (!json.is_object() || !json["labels"].is_array()) {
    ADD_FAILURE() << name << ".json: no expectations";
    return out;
  }
  out.warns = json.contains("warning");
  for (const nlohmann::json& label : json["labels"]) {
    std::vector<ExpectedSymbol>& symbols = out.pictures.emplace_back();
    for (const nlohmann::json& s : label.value("symbols", nlohmann::json::array())) {
      const auto region = s.value("region", std::array<int, 4>{});
      symbols.push_back({ZXing::BarcodeFormatFromString(s.value("format", "")),
                         {region[0], region[1], region[2], region[3]},
                         s.value("text", ""),
                         s.value("modules", 0),
                         s.value("start", std::string(" "))[0],
                         s.value("module_dots", 0),
                         s.value("vertical", false)});
    }
  }
  return out;
}

Picture Crop(const Picture& picture, Region r) {
  Picture out;
  out.width = r.x1 - r.x0;
  out.height = r.y1 - r.y0;
  for (int y = r.y0; y < r.y1; ++y)
    for (int x = r.x0; x < r.x1; ++x) out.luminance.push_back(picture.black(x, y) ? 0 : 255);
  return out;
}

// Bar and space widths in dots along the middle of a linear symbol.
std::vector<int> Runs(const Picture& crop, bool vertical) {
  const int length = vertical ? crop.height : crop.width;
  auto dark = [&](int k) {
    return vertical ? crop.black(crop.width / 2, k) : crop.black(k, crop.height / 3);
  };
  std::vector<int> runs;
  int first = 0, last = length - 1;
  while (first < length && !dark(first)) ++first;
  while (last >= 0 && !dark(last)) --last;
  for (int k = first; k <= last;) {
    int n = 1;
    while (k + n <= last && dark(k + n) == dark(k)) ++n;
    runs.push_back(n);
    k += n;
  }
  return runs;
}

// The labels of the corpus, by name (NAME.zpl), in order.
std::vector<std::string> CorpusNames() {
  std::vector<std::string> names;
  GDir* dir = g_dir_open(CORVELLA_ZPL_CORPUS, 0, nullptr);
  if (dir == nullptr) return names;
  while (const char* entry = g_dir_read_name(dir)) {
    if (g_str_has_suffix(entry, ".zpl")) names.emplace_back(entry, strlen(entry) - 4);
  }
  g_dir_close(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// The symbol scans to its text and, for Code 128, has the modules, start
// subset and module width expected.
void ExpectSymbol(const Picture& picture, const ExpectedSymbol& symbol) {
  SCOPED_TRACE(symbol.text);
  const Picture crop = Crop(picture, symbol.region);
  std::string text = Scan(crop, symbol.format);
  if (text != symbol.text) text = Scan(crop, symbol.format, true);
  EXPECT_EQ(text, symbol.text);
  if (symbol.modules == 0) return;
  const std::vector<int> runs = Runs(crop, symbol.vertical);
  int dots = 0;
  for (int run : runs) {
    dots += run;
    EXPECT_EQ(run % symbol.module_dots, 0) << "a bar or space of " << run << " dots";
    EXPECT_LE(run / symbol.module_dots, 4);
  }
  EXPECT_EQ(dots, symbol.modules * symbol.module_dots);
  ASSERT_GE(runs.size(), 6u);
  std::string start;
  for (size_t k = 0; k < 6; ++k) start += std::to_string(runs[k] / symbol.module_dots);
  EXPECT_EQ(start, symbol.start == 'A' ? "211412" : symbol.start == 'B' ? "211214" : "211232");
}

TEST_F(LabelPictureTest, CarrierAndRetailLabelsScanAsThePrinterEncodesThem) {
  std::map<std::string, std::vector<Picture>> drawn;
  const std::vector<std::string> files = CorpusNames();
  ASSERT_GE(files.size(), 17u);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const Expectations expected = ReadExpectations(file);
    drawn[file] = render(CorpusLabel(file));
    ASSERT_EQ(drawn[file].size(), expected.pictures.size());
    for (const RenderedLabel& label : last_.labels) {
      EXPECT_TRUE(label.report.skipped.empty()) << label.report.skipped.begin()->first;
      EXPECT_EQ(label.report.warnings.size(), expected.warns ? 1u : 0u);
    }
    for (size_t i = 0; i < expected.pictures.size(); ++i) {
      for (const ExpectedSymbol& symbol : expected.pictures[i]) {
        ExpectSymbol(drawn[file][i], symbol);
      }
    }
  }

  // Sizes in dots. PDF417 rows are h modules tall: ^BY2 ^B7N,4,5,8,20 is 20
  // rows of 8 dots, 8 data columns of 17 modules between 4 of overhead.
  const Picture::Box pdf = drawn["02_fedex_ground"][0].inkBox(0, 250, 450, 430);
  EXPECT_EQ(pdf.bottom - pdf.top + 1, 20 * 8);
  EXPECT_EQ(pdf.right - pdf.left + 1, (17 * (8 + 4) + 1) * 2);
  // Without h, ^BY's 120 dots are the whole symbol's: 10 rows of 12.
  const Picture::Box shared = drawn["11_pharmacy_gs1"][0].inkBox(510, 370, 812, 520);
  EXPECT_EQ(shared.bottom - shared.top + 1, 120);
  EXPECT_EQ(shared.right - shared.left + 1, (17 * (4 + 4) + 1) * 2);
  // MaxiCode is about 28 x 27 mm at any resolution.
  const Picture::Box maxi = drawn["01_ups_ground"][0].inkBox(10, 330, 260, 570);
  EXPECT_NEAR(maxi.right - maxi.left, 28.14 * 8, 6);
  EXPECT_NEAR(maxi.bottom - maxi.top, 26.91 * 8, 6);
  // ^FT with right justification ends the text at its x.
  EXPECT_NEAR(drawn["03_dhl_parcel"][0].inkBox(400, 1100, 812, 1160).right, 779, 2);
  // A stored format draws no picture of its own; its fields hold the data
  // of the label that recalls it.
  EXPECT_GT(drawn["12_stored_format"][0].count(20, 20, 400, 70), 200);   // the name
  EXPECT_GT(drawn["12_stored_format"][0].count(20, 80, 540, 115), 200);  // the street
  EXPECT_EQ(drawn["12_stored_format"][1].count(20, 80, 540, 115), 0);    // none given
  // ^MCN keeps the frame under the next label only.
  EXPECT_EQ(drawn["14_map_clear"][1].count(10, 10, 16, 390), 6 * 380);
  EXPECT_EQ(drawn["14_map_clear"][2].count(10, 10, 16, 390), 0);
}

TEST_F(LabelPictureTest, StoredAndBinaryGraphicsComeOutDotForDot) {
  // ^GFB: 640 bytes that hold prefixes and line ends, 16 to a row.
  const Picture binary = one(CorpusLabel("13_binary_graphic"));
  int wrong = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 128; ++x) {
      const int byte = ((y * 16 + x / 8) * 37 + 11) & 0xff;
      wrong += binary.black(20 + x, 30 + y) != ((byte >> (7 - x % 8) & 1) != 0);
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(binary.count(250, 30, 400, 70), 100);  // the text after the data

  // ~DG stores a 16 x 4 frame; ^IM draws it as it is, ^XG magnified, ^FT
  // right-justified by its bottom right corner. ~DN aborts a download short
  // of its data: that graphic is not kept.
  const Picture picture = one(CorpusLabel("16_graphics_images"));
  auto frame = [](int x, int y) { return y == 0 || y == 3 || x % 8 == 0 || x % 8 == 7; };
  for (auto [left, top, sx, sy] :
       {std::array{10, 10, 1, 1}, std::array{100, 10, 4, 2}, std::array{390 - 32, 290 - 8, 2, 2}}) {
    int mismatches = 0;
    for (int y = 0; y < 4 * sy; ++y)
      for (int x = 0; x < 16 * sx; ++x)
        mismatches += picture.black(left + x, top + y) != frame(x / sx, y / sy);
    EXPECT_EQ(mismatches, 0) << left << "," << top;
  }
  EXPECT_EQ(picture.count(150, 150, 400, 260), 0);
  EXPECT_EQ(last_.stored, std::vector<std::string>{"BADGE.GRF"});
  ASSERT_EQ(last_.labels[0].report.warnings.size(), 1u);
}

}  // namespace
}  // namespace corvella::zpl
