// The renderer's pictures, read back from their PNG files the way a person
// or a scanner would see them: barcodes must scan to their field data, text
// and graphics must sit where the label put them.

#include <ZXing/ReadBarcode.h>
#include <cairo.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "test_print_system/label_printer.h"
#include "test_print_system/scratch_directory.h"
#include "tools/zpl/label_pictures.h"
#include "tools/zpl/label_renderer.h"

namespace corvella::zpl {
namespace {

// A picture read back from its PNG: true where a dot is black.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> luminance;

  bool black(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height &&
           luminance[static_cast<size_t>(y * width + x)] < 128;
  }
  // The smallest box around the black dots inside [x0, x1) x [y0, y1).
  struct Box {
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
  };
  Box inkBox(int x0, int y0, int x1, int y1) const {
    Box box;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (!black(x, y)) continue;
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }
  Box inkBox() const { return inkBox(0, 0, width, height); }
  int count(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += black(x, y);
    return n;
  }
};

Picture ReadPng(const std::string& path) {
  Picture picture;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    picture.width = cairo_image_surface_get_width(surface);
    picture.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < picture.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
      for (int x = 0; x < picture.width; ++x) {
        picture.luminance.push_back(static_cast<uint8_t>(row[x] & 0xff));
      }
    }
  }
  cairo_surface_destroy(surface);
  return picture;
}

class LabelPictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(scratch_.create("zpl", error)) << error;
  }

  // Renders the document, writes its pictures and reads them back.
  std::vector<Picture> render(const std::string& zpl, RenderOptions options = {}) {
    LabelRenderer renderer(options);
    last_ = renderer.render(zpl);
    const std::string stem = scratch_.path() + "/label" + std::to_string(++count_);
    std::string error;
    EXPECT_TRUE(WriteLabelPictures(last_, stem, error)) << error;
    std::vector<Picture> pictures;
    for (size_t i = 0; i < last_.labels.size(); ++i)
      pictures.push_back(ReadPng(PicturePath(stem, i)));
    return pictures;
  }
  Picture one(const std::string& zpl) {
    std::vector<Picture> pictures = render(zpl);
    if (pictures.size() != 1) ADD_FAILURE() << pictures.size() << " pictures";
    return pictures.empty() ? Picture{} : pictures[0];
  }

  static std::string Scan(const Picture& picture, ZXing::BarcodeFormat format, bool pure = false) {
    ZXing::ImageView image(picture.luminance.data(), picture.width, picture.height,
                           ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(format).setTryHarder(true).setTryRotate(true).setIsPure(pure);
    ZXing::Result result = ZXing::ReadBarcode(image, hints);
    return result.isValid() ? result.text() : std::string("<nothing found>");
  }

  testing::ScratchDirectory scratch_;
  RenderedDocument last_;
  int count_ = 0;
};

// The carrier labels below hold the other symbologies, upright and rotated.
TEST_F(LabelPictureTest, BarcodesScanInEveryOrientation) {
  for (const char* o : {"N", "R", "I", "B"}) {
    SCOPED_TRACE(o);
    Picture picture = one(std::string("^XA^PW900^LL900^FO120,120^BY2^BC") + o +
                          ",120,Y,N,N^FD>:Corvella-128>;4711^FS^XZ");
    EXPECT_EQ(Scan(picture, ZXing::BarcodeFormat::Code128), "Corvella-1284711");
    picture = one(std::string("^XA^PW900^LL900^FO120,120^BY3,3^B2") + o +
                  ",100,Y,N,N^FD0123456789^FS^XZ");
    EXPECT_EQ(Scan(picture, ZXing::BarcodeFormat::ITF), "0123456789");
    EXPECT_TRUE(last_.labels[0].report.warnings.empty()) << last_.labels[0].report.warnings[0];
  }
}

TEST_F(LabelPictureTest, TextStartsAtItsOriginAndReverseInvertsIt) {
  for (const char* font : {"^A0N,60,60", "^ADN,36,20", "^AAN,27,15"}) {
    SCOPED_TRACE(font);
    Picture picture = one(std::string("^XA^FO137,211") + font + "^FDHELLO^FS^XZ");
    Picture::Box box = picture.inkBox();
    EXPECT_NEAR(box.left, 137, 2);
    EXPECT_NEAR(box.top, 211, 2);
    // ^FT puts the baseline at the point: capitals end on it.
    picture = one(std::string("^XA^FT137,300") + font + "^FDHELLO^FS^XZ");
    box = picture.inkBox();
    EXPECT_NEAR(box.left, 137, 2);
    EXPECT_NEAR(box.bottom, 299, 2);
  }
  // Rotated text reads downwards from the origin's top right.
  Picture rotated = one("^XA^FO300,100^A0R,60,60^FDHELLO^FS^XZ");
  Picture::Box box = rotated.inkBox();
  EXPECT_NEAR(box.top, 100, 2);
  EXPECT_GT(box.bottom - box.top, box.right - box.left);

  // Reversed over a black box the text comes out white, dot for dot.
  const Picture text = one("^XA^FO100,100^A0N,60,60^FDHELLO^FS^XZ");
  const Picture reversed = one("^XA^FO80,80^GB400,120,120^FS^FO100,100^FR^A0N,60,60^FDHELLO^FS^XZ");
  int mismatches = 0;
  for (int y = 80; y < 200; ++y) {
    for (int x = 80; x < 480; ++x) mismatches += reversed.black(x, y) == text.black(x, y);
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(text.count(80, 80, 480, 200), 500);
}

// The ZPL compression of a ^GF image: repeat counts, ',' and '!' to end a
// row, ':' to repeat the row before.
std::string Compress(const std::vector<std::string>& rows) {
  auto count = [](size_t n) {
    std::string out;
    for (; n >= 400; n -= 400) out += 'z';
    if (n >= 20) out += static_cast<char>('g' + n / 20 - 1), n %= 20;
    if (n > 0) out += static_cast<char>('G' + n - 1);
    return out;
  };
  std::string out, previous;
  for (const std::string& row : rows) {
    if (row == previous) {
      out += ':';
      continue;
    }
    previous = row;
    size_t end = row.find_last_not_of('0') == std::string::npos ? 0 : row.find_last_not_of('0') + 1;
    for (size_t i = 0; i < end;) {
      size_t n = 1;
      while (i + n < end && row[i + n] == row[i]) ++n;
      out += (n > 1 ? count(n) : "") + row[i];
      i += n;
    }
    if (end < row.size()) out += ',';
  }
  return out;
}

TEST_F(LabelPictureTest, GraphicFieldsComeOutDotForDot) {
  // A logo-like image: runs, blank rows, repeated rows and noise.
  const int bytes_per_row = 9, height = 41, width = bytes_per_row * 8;
  std::mt19937 random(7);
  std::vector<std::vector<bool>> dots(height, std::vector<bool>(width));
  for (size_t y = 0; y < dots.size(); ++y) {
    for (size_t x = 0; x < dots[y].size(); ++x) {
      dots[y][x] = y % 10 == 3   ? false
                   : y % 10 == 5 ? x < 40
                                 : (x / 7 + y / 4) % 3 == 0 || random() % 9 == 0;
    }
    if (y % 10 == 6) dots[y] = dots[y - 1];
  }
  std::vector<std::string> rows;
  std::string plain;
  std::vector<uint8_t> bytes;
  for (const auto& line : dots) {
    std::string hex;
    for (int b = 0; b < bytes_per_row; ++b) {
      int byte = 0;
      for (int k = 0; k < 8; ++k) byte = byte << 1 | line[static_cast<size_t>(b * 8 + k)];
      char text[3];
      std::snprintf(text, sizeof text, "%02X", byte);
      hex += text;
      bytes.push_back(static_cast<uint8_t>(byte));
    }
    rows.push_back(hex);
    plain += hex + "\n";
  }
  uLongf deflated_size = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<Bytef> deflated(deflated_size);
  ASSERT_EQ(
      compress(deflated.data(), &deflated_size, bytes.data(), static_cast<uLong>(bytes.size())),
      Z_OK);
  gchar* base64 = g_base64_encode(deflated.data(), deflated_size);
  const std::string z64 = std::string(":Z64:") + base64 + ":1234";
  g_free(base64);

  const std::string header = "^GFA," + std::to_string(bytes.size()) + "," +
                             std::to_string(bytes.size()) + "," + std::to_string(bytes_per_row) +
                             ",";
  for (const std::string& data : {plain, Compress(rows), z64}) {
    SCOPED_TRACE(data.substr(0, 60));
    const Picture picture = one("^XA^FO33,57" + header + data + "^FS^XZ");
    int wrong = 0;
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const bool inside = x >= 33 && x < 33 + width && y >= 57 && y < 57 + height;
        wrong += picture.black(x, y) !=
                 (inside && dots[static_cast<size_t>(y - 57)][static_cast<size_t>(x - 33)]);
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(LabelPictureTest, FieldBlocksWrapAndJustify) {
  const std::string text =
      "Deliver to the loading bay at the back of the building before noon please";
  // Rows with ink, grouped into lines.
  auto lines = [](const Picture& p) {
    std::vector<Picture::Box> found;
    bool in_line = false;
    for (int y = 0; y < p.height; ++y) {
      const bool ink = p.count(0, y, p.width, y + 1) > 0;
      if (ink && !in_line) found.push_back(Picture::Box{0, y, 0, y});
      if (ink) found.back().bottom = y;
      in_line = ink;
    }
    for (auto& line : found) {
      const Picture::Box box = p.inkBox(0, line.top, p.width, line.bottom + 1);
      line.left = box.left, line.right = box.right;
    }
    return found;
  };
  for (char justification : {'L', 'C', 'R', 'J'}) {
    SCOPED_TRACE(justification);
    // 20 dots between cells: descenders never touch the next line's capitals.
    const Picture picture = one(std::string("^XA^FO100,100^A0N,40,40^FB500,6,20,") + justification +
                                "^FD" + text + "^FS^XZ");
    const auto found = lines(picture);
    ASSERT_GE(found.size(), 3u);
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_LE(found[i].right, 601) << "line " << i << " leaves the block";
      EXPECT_GE(found[i].left, 99) << "line " << i;
      const bool last = i + 1 == found.size();
      switch (justification) {
        case 'L':
          EXPECT_NEAR(found[i].left, 100, 2) << "line " << i;
          break;
        case 'R':
          EXPECT_NEAR(found[i].right, 599, 2) << "line " << i;
          break;
        case 'C':
          EXPECT_NEAR((found[i].left + found[i].right) / 2.0, 350, 2) << "line " << i;
          break;
        case 'J':
          EXPECT_NEAR(found[i].left, 100, 3) << "line " << i;
          if (!last) {
            EXPECT_NEAR(found[i].right, 599, 8) << "line " << i;
          }
          break;
      }
    }
    EXPECT_NEAR(found[1].top - found[0].top, 60, 2);
  }
  // A block of two lines keeps two and says the rest was cut; "\&" breaks a line.
  Picture two = one("^XA^FO100,100^A0N,40,40^FB500,2,20^FD" + text + "^FS^XZ");
  EXPECT_EQ(lines(two).size(), 2u);
  ASSERT_EQ(last_.labels[0].report.warnings.size(), 1u);
  // A break at the end of the data starts no line of its own.
  Picture broken = one("^XA^FO100,100^A0N,40,40^FB500,2,20^FDONE\\&TWO\\&^FS^XZ");
  EXPECT_EQ(lines(broken).size(), 2u);
  EXPECT_TRUE(last_.labels[0].report.warnings.empty());
}

TEST_F(LabelPictureTest, DocumentsGiveOnePicturePerLabelAndReportWhatTheySkipped) {
  // Through the command: two labels, two pictures and one report.
  const std::string zpl_path = scratch_.path() + "/two.zpl";
  std::ofstream(zpl_path) << "~SD15\n^XA^FO50,50^GB100,100,100^FS^MD10^ZQ1,2^XZ\n"
                             "^XA^PW400^LL300^FO50,50^A0N,40^FH^FD_43orvella^FS^XZ\n";
  const std::string out = scratch_.path() + "/two";
  const std::string command =
      std::string(CORVELLA_ZPL_RENDER_PROGRAM) + " " + zpl_path + " -o " + out + ".png > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const Picture first = ReadPng(out + ".png"), second = ReadPng(out + "-2.png");
  EXPECT_EQ(first.width, 813);
  EXPECT_EQ(first.height, 1220);
  EXPECT_EQ(first.count(0, 0, first.width, first.height), 100 * 100);
  EXPECT_EQ(second.width, 400);
  EXPECT_EQ(second.height, 300);
  std::stringstream report;
  report << std::ifstream(out + ".json").rdbuf();
  EXPECT_NE(report.str().find("\"^ZQ\": 1"), std::string::npos) << report.str();
  EXPECT_NE(report.str().find("\"^MD\": 1"), std::string::npos);
  EXPECT_NE(report.str().find("\"two-2.png\""), std::string::npos);
  // ^FH: "_43" is "C", so the text is the same as written plainly.
  const Picture plain = one("^XA^PW400^LL300^FO50,50^A0N,40^FDCorvella^FS^XZ");
  EXPECT_EQ(plain.luminance, second.luminance);

  // Absurd sizes are capped; a label without ^XZ is still drawn.
  std::vector<Picture> capped = render("^XA^PW99999^LL99999^FO0,0^GB99999,99999,5^FS",
                                       {.media = std::nullopt, .max_side_dots = 2000});
  ASSERT_EQ(capped.size(), 1u);
  EXPECT_EQ(capped[0].width, 2000);
  EXPECT_EQ(last_.warnings.size(), 1u);
}

TEST_F(LabelPictureTest, TheSimulatedPrinterDrawsEveryJobItStores) {
  const std::string jobs = scratch_.path() + "/printer";
  testing::LabelPrinter printer;
  std::string reason;
  ASSERT_TRUE(printer.start(jobs, reason)) << reason;
  ASSERT_TRUE(testing::SendJob(printer.port(), "^XA^FO100,100^BY2^BCN,100^FDJOB-ONE^FS^XZ\r\n"));
  ASSERT_TRUE(testing::SendJob(printer.port(), "^XA^PW400^FO50,50^GB10,10,10^FS^XZ^XA^XZ"));
  // The report comes last: once it is there, so are the job's pictures.
  for (int i = 0; i < 200 && access((jobs + "/job-000002.json").c_str(), F_OK) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(Scan(ReadPng(jobs + "/job-000001.png"), ZXing::BarcodeFormat::Code128), "JOB-ONE");
  // The printer's media, 4 x 6 inches, with the print width centred on it.
  const Picture second = ReadPng(jobs + "/job-000002.png");
  EXPECT_EQ(second.count(0, 0, 812, 1219), 100);
  EXPECT_EQ(second.width, 813);
  EXPECT_EQ(second.inkBox().left, (813 - 400) / 2 + 50);
  EXPECT_EQ(ReadPng(jobs + "/job-000002-2.png").count(0, 0, 812, 1219), 0);
  EXPECT_EQ(testing::ReadJobs(jobs).size(), 2u);
  // The report names the pictures as they are found, not as they were written.
  std::stringstream report;
  report << std::ifstream(jobs + "/job-000002.json").rdbuf();
  EXPECT_NE(report.str().find("\"job-000002-2.png\""), std::string::npos) << report.str();

  // Without rendering the bytes are kept and nothing else; stopping waits
  // for pictures still being drawn, so what is there after it is final.
  ASSERT_TRUE(printer.stop());
  const std::string plain = scratch_.path() + "/plain";
  ASSERT_TRUE(printer.start(plain, reason, false)) << reason;
  ASSERT_TRUE(testing::SendJob(printer.port(), "^XA^FO50,50^GB10,10,10^FS^XZ"));
  ASSERT_EQ(testing::WaitForJobs(plain, 1, std::chrono::seconds(10)).size(), 1u);
  ASSERT_TRUE(printer.stop());
  EXPECT_NE(access((plain + "/job-000001.png").c_str(), F_OK), 0);
  EXPECT_NE(access((plain + "/job-000001.json").c_str(), F_OK), 0);
}

// Real labels in the shapes carriers and shops send, and what a printer
// makes of each barcode on them: the data it encodes and, for Code 128, the
// subsets its rules choose, counted in modules.
struct Region {
  int x0, y0, x1, y1;
};

struct ExpectedSymbol {
  ZXing::BarcodeFormat format;
  Region region;  // the symbol and its quiet zone, nothing else
  std::string text;
  // Code 128: modules from the start character to the end of the stop
  // pattern (11 per symbol character, 13 for the stop), the start subset,
  // dots per module and whether the bars run down the label.
  int modules = 0;
  char start = 0;
  int module_dots = 0;
  bool vertical = false;
};

struct CorpusLabel {
  const char* file;
  size_t label;
  std::vector<ExpectedSymbol> symbols;
};

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

TEST_F(LabelPictureTest, CarrierAndRetailLabelsScanAsThePrinterEncodesThem) {
  using F = ZXing::BarcodeFormat;
  const std::string gs = "\x1d";
  const std::vector<CorpusLabel> corpus = {
      {"01_ups_ground",
       0,
       {{F::MaxiCode,
         {10, 330, 260, 570},
         "[)>\x1e"
         "01\x1d"
         "96303010000\x1d"
         "840\x1d"
         "001\x1d"
         "1Z99999999\x1dUPSN\x1d"
         "123456\x1d"
         "034\x1d\x1d"
         "1/1\x1d"
         "2\x1dN\x1d\x1d"
         "ATLANTA\x1dGA\x1e\x04"},
        // ">;>8" then eight digits: start C, FNC1, four pairs.
        {F::Code128, {300, 490, 812, 620}, "42030301", 90, 'C', 3},
        // No start code: subset B for all eighteen characters, digits too.
        {F::Code128, {40, 800, 812, 1030}, "1Z999AA10123456784", 233, 'B', 3}}},
      {"02_fedex_ground",
       0,
       {{F::PDF417,
         {0, 250, 450, 430},
         "[)>\x1e"
         "01\x1d"
         "0260616\x1d"
         "840\x1d"
         "092\x1d"
         "9622001560001234567100794894\x1d"
         "FDEG\x1d"
         "0018500\x1d"
         "341\x1d"
         "1/1\x1d"
         "2.00LB\x1dN\x1d"
         "2200 LAKE SHORE DRIVE\x1d"
         "CHICAGO\x1dIL\x1dMARCUS WEBB\x1e\x04"},
        {F::Code128, {10, 550, 812, 790}, "9622001560001234567100794894", 189, 'C', 3}}},
      {"03_dhl_parcel",
       0,
       {// Mode A: "JJD0" in B, then the twelve digits after it in C.
        {F::Code128, {10, 270, 760, 500}, "JJD0001234567890", 156, 'B', 3},
        {F::DataMatrix, {500, 520, 812, 800}, "JJD0001234567890 40212 DE"},
        {F::Code128, {10, 530, 500, 740}, "40212101001420", 112, 'C', 2}}},
      {"04_gs1_sscc",
       0,
       {// Mode D: the GTIN's check digit added, FNC1 after the count of
        // variable length, "10" still paired in C before the lot in B.
        {F::Code128,
         {10, 320, 812, 580},
         "021061414100041537"
         "24" +
             gs + "10LOT42",
         244,
         'C',
         3},
        // Mode U: 19 digits and their check digit, in C after FNC1.
        {F::Code128, {10, 630, 812, 890}, "00106141411234567897", 156, 'C', 3}}},
      {"05_amazon_fba",
       0,
       {{F::Code128, {30, 320, 700, 590}, "FBA15DJ8K9LXU000001", 244, 'B', 2},
        {F::QRCode, {40, 600, 400, 820}, "FBA15DJ8K9LXU000001,PHX7,24"}}},
      {"06_usps_priority",
       0,
       {{F::Code128, {30, 420, 812, 640}, "420940439405511899223197428270", 211, 'C', 3}}},
      {"07_dpd_classic",
       0,
       {// B for "%0", C from ">5" for eleven pairs, B again from ">6".
        {F::Code128, {10, 350, 812, 680}, "%0071106017825329483751076", 222, 'B', 3},
        // The unpaired "5" before ">6" is dropped.
        {F::Code128, {10, 710, 812, 830}, "1234AB", 90, 'C', 3}}},
      {"08_retail_shelf",
       0,
       {{F::EAN13, {360, 90, 600, 240}, "4006381333931"},
        {F::UPCA, {0, 240, 340, 390}, "036000291452"}}},
      {"09_warehouse_bin",
       0,
       {// Subset A reads digit pairs: 33 34 35 are "ABC"; drawn down the label (^FWR).
        {F::Code128, {490, 20, 680, 440}, "ABC141403", 112, 'A', 3, true},
        {F::Code39, {20, 30, 480, 200}, "BIN-14-03-C"},
        {F::Aztec, {30, 250, 200, 420}, "BIN 14-03-C / ZONE A"},
        {F::Code128, {20, 550, 500, 700}, "bin140300C", 134, 'B', 3}}},
      {"10_returns_qr",
       0,
       {{F::QRCode, {0, 80, 280, 400}, "RMA-2026-000481"},
        {F::QRCode, {280, 80, 540, 400}, "0123456789012ABC-42a,b;c!"},
        {F::QRCode, {540, 80, 812, 400}, "https://corvella.example/r/481"},
        // No prefix: the printer takes "htt" as one.
        {F::QRCode, {0, 400, 280, 740}, "ps://corvella.example/track"},
        {F::QRCode, {280, 400, 540, 740}, "RMA-2026"},
        {F::QRCode, {540, 400, 812, 740}, "-000481"},
        {F::QRCode, {0, 740, 280, 1100}, "ORDER-42 TOTE 7"}}},
      {"11_pharmacy_gs1",
       0,
       {// Mode D without parentheses: GTIN and date have fixed lengths.
        {F::Code128, {10, 110, 580, 300}, "01095011015300031726123110ABC123", 266, 'C', 2},
        {F::DataMatrix, {560, 90, 812, 330}, "GTIN 09501101530003 EXP 261231 LOT ABC123"},
        // The fifth parameter adds the mod 10 digit to the 19 of the data.
        {F::Code128, {10, 370, 500, 520}, "00106141411234567897", 156, 'C', 2},
        {F::PDF417, {510, 370, 812, 520}, "LOT ABC123 EXP 2026-12-31 QTY 20"}}},
      {"12_stored_format",
       0,
       {{F::Code128, {10, 150, 540, 330}, "RT0000481", 134, 'B', 3},
        {F::QRCode, {540, 0, 812, 300}, "RT0000481"}}},
      {"12_stored_format",
       1,
       {{F::Code128, {10, 150, 540, 330}, "DEFAULT", 112, 'B', 3},
        {F::QRCode, {540, 0, 812, 300}, "RT0000482"}}},
      {"14_map_clear", 1, {{F::Code128, {20, 190, 580, 290}, "SERIAL 0001", 156, 'B', 2}}},
      // Mode A: C for the eight digits and for the four at the end.
      {"15_default_size",
       0,
       {{F::Code128, {0, 140, 813, 300}, "ORDER 20261208 0042", 211, 'B', 2}}},
      {"17_data_rules",
       0,
       {// Mode A: '>' and the character after it are data, ">8" is FNC1; C for
        // each run of four digits.
        {F::Code128, {0, 70, 812, 240}, ">;4711>:0815" + gs + "AB", 200, 'B', 2},
        // Runs of two and three digits stay in B, four go to C, and an odd
        // run of five at the end leaves its first digit in B.
        {F::Code128, {0, 290, 812, 460}, "A12B345C6789D01234", 222, 'B', 2},
        // 2 of 5 draws the digits and leaves the rest out; short EAN-13 data
        // is padded with zeros on the left.
        {F::ITF, {0, 510, 812, 680}, "471108152026"},
        {F::EAN13, {0, 750, 812, 920}, "0000040063812"}}},
  };
  const std::map<std::string, size_t> pictures = {
      {"01_ups_ground", 1},      {"02_fedex_ground", 1}, {"03_dhl_parcel", 1},
      {"04_gs1_sscc", 1},        {"05_amazon_fba", 1},   {"06_usps_priority", 1},
      {"07_dpd_classic", 1},     {"08_retail_shelf", 1}, {"09_warehouse_bin", 1},
      {"10_returns_qr", 1},      {"11_pharmacy_gs1", 1}, {"12_stored_format", 2},
      {"13_binary_graphic", 1},  {"14_map_clear", 3},    {"15_default_size", 1},
      {"16_graphics_images", 1}, {"17_data_rules", 1}};
  std::map<std::string, std::vector<Picture>> drawn;
  for (const auto& [file, count] : pictures) {
    std::ifstream in(std::string(CORVELLA_ZPL_CORPUS) + "/" + file + ".zpl", std::ios::binary);
    const std::string zpl((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(zpl.empty()) << file;
    drawn[file] = render(zpl);
    EXPECT_EQ(drawn[file].size(), count) << file;
    for (const RenderedLabel& label : last_.labels) {
      EXPECT_TRUE(label.report.skipped.empty())
          << file << ": " << label.report.skipped.begin()->first;
      // Only the QR code without a prefix, the missing graphic and the
      // letters left out of 2 of 5 data are worth a word.
      EXPECT_EQ(label.report.warnings.size(),
                file == "10_returns_qr" || file == "16_graphics_images" || file == "17_data_rules")
          << file;
    }
  }
  for (const CorpusLabel& label : corpus) {
    ASSERT_LT(label.label, drawn[label.file].size()) << label.file;
    const Picture& picture = drawn[label.file][label.label];
    for (const ExpectedSymbol& symbol : label.symbols) {
      SCOPED_TRACE(std::string(label.file) + ": " + symbol.text);
      const Picture crop = Crop(picture, symbol.region);
      std::string text = Scan(crop, symbol.format);
      if (text != symbol.text) text = Scan(crop, symbol.format, true);
      EXPECT_EQ(text, symbol.text);
      if (symbol.modules == 0) continue;
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
  std::ifstream in(std::string(CORVELLA_ZPL_CORPUS) + "/13_binary_graphic.zpl", std::ios::binary);
  const Picture binary =
      one(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
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
  std::ifstream images(std::string(CORVELLA_ZPL_CORPUS) + "/16_graphics_images.zpl");
  const Picture picture =
      one(std::string((std::istreambuf_iterator<char>(images)), std::istreambuf_iterator<char>()));
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

TEST_F(LabelPictureTest, LabelSizesRoundUpToWholeDotsAsAPrinterDoes) {
  const std::string zpl = "^XA^FO10,10^GB20,20,20^FS^XZ";
  struct Case {
    int dpmm;
    double width_mm, height_mm;
    int width, height;
  };
  for (const Case& c : {Case{8, 101.6, 203.2, 813, 1626}, Case{8, 100, 150, 800, 1200},
                        Case{6, 101.6, 152.4, 610, 915}, Case{12, 101.6, 152.4, 1220, 1829},
                        Case{24, 50.8, 25.4, 1220, 610}}) {
    const std::vector<Picture> p =
        render(zpl, {.dots_per_mm = c.dpmm, .media = MediaSize{c.width_mm, c.height_mm}});
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].width, c.width) << c.dpmm << " " << c.width_mm;
    EXPECT_EQ(p[0].height, c.height) << c.dpmm << " " << c.height_mm;
  }
  // The command's --size in inches and in millimetres.
  const std::string path = scratch_.path() + "/size.zpl";
  std::ofstream(path) << zpl;
  for (auto [size, width, height] :
       {std::tuple{"4x8", 813, 1626}, std::tuple{"100x150mm", 800, 1200}}) {
    const std::string out = scratch_.path() + "/size-" + size;
    const std::string command = std::string(CORVELLA_ZPL_RENDER_PROGRAM) + " " + path + " --size " +
                                size + " -o " + out + ".png > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Picture p = ReadPng(out + ".png");
    EXPECT_EQ(p.width, width) << size;
    EXPECT_EQ(p.height, height) << size;
  }
}

TEST_F(LabelPictureTest, TheMediaIsThePictureAndThePrintWidthIsCentredOnIt) {
  // 4 x 8 inch media (813 x 1626): ^PW679 starts 67 dots in and ends 679
  // dots later; on gap media a field past ^LL still prints.
  const std::string zpl =
      "^XA^PW679^LL320^FO0,0^GB100,50,50^FS^FO600,100^GB200,50,50^FS"
      "^FO0,1500^GB50,50,50^FS^XZ";
  const RenderOptions media{.media = MediaSize{101.6, 203.2}};
  std::vector<Picture> p = render(zpl, media);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].width, 813);
  EXPECT_EQ(p[0].height, 1626);
  const Picture::Box first = p[0].inkBox(0, 0, 813, 60), cut = p[0].inkBox(0, 90, 813, 160);
  EXPECT_EQ(first.left, 67);
  EXPECT_EQ(first.right, 166);
  EXPECT_EQ(cut.right, 67 + 679 - 1);
  EXPECT_EQ(p[0].inkBox(0, 1400, 813, 1626).top, 1500);
  // On continuous media ^LL is the length.
  p = render("^XA^MNN" + zpl.substr(3), media);
  EXPECT_EQ(p[0].height, 320);
  // Without media the document sizes the picture.
  p = render(zpl);
  EXPECT_EQ(p[0].width, 679);
  EXPECT_EQ(p[0].height, 320);
  EXPECT_EQ(p[0].inkBox().left, 0);
}

TEST_F(LabelPictureTest, FontsMarksAndSymbolsHaveAPrintersMetrics) {
  // Font 0: capitals 0.77 h tall from the origin down, letters about
  // 0.535 w apart.
  for (auto [h, w] : {std::pair{28, 28}, std::pair{40, 40}, std::pair{60, 30}, {100, 100}}) {
    SCOPED_TRACE(std::to_string(h) + "," + std::to_string(w));
    const Picture picture = one("^XA^FO50,50^A0N," + std::to_string(h) + "," + std::to_string(w) +
                                "^FDEEEEEEEEEE^FS^XZ");
    const Picture::Box box = picture.inkBox();
    EXPECT_EQ(box.top, 50);
    EXPECT_NEAR(box.bottom - box.top + 1, 0.77 * h, 1);
    std::vector<int> starts;
    for (int x = 0; x < picture.width; ++x) {
      if (picture.count(x, 0, x + 1, picture.height) > 0 &&
          picture.count(x - 1, 0, x, picture.height) == 0)
        starts.push_back(x);
    }
    ASSERT_EQ(starts.size(), 10u);
    EXPECT_NEAR((starts[9] - starts[0]) / 9.0, 0.535 * w, 0.02 * w);
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
  // A QR code placed with ^FO is lower by ^BY's height; with ^FT it ends
  // on the origin.
  for (auto [by, top] : {std::pair{"^BY3,2,100", 100}, std::pair{"", 10}}) {
    const Picture qr = one(std::string("^XA") + by + "^FO20,0^BQN,2,4^FDQA,CORVELLA^FS^XZ");
    EXPECT_EQ(qr.inkBox().top, top);
    EXPECT_EQ(Scan(qr, ZXing::BarcodeFormat::QRCode), "CORVELLA");
  }
  EXPECT_EQ(one("^XA^BY3,2,100^FT20,300^BQN,2,4^FDQA,CORVELLA^FS^XZ").inkBox().bottom, 299);
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
// size and the gap after it, grown by whole multiples of the base cell (the
// smallest at least as large as asked; one side asked, both grow alike).
TEST_F(LabelPictureTest, BitmapFontsStepByTheirCellsAndGaps) {
  struct Row {
    const char* font;
    int pitch;  // cell width and gap, magnified
    int cell;   // cell height, magnified
  };
  for (const Row& row : std::vector<Row>{{"^AAN", 6, 9},
                                         {"^AAN,10,10", 12, 18},
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
           {"^CI6", "_9A", "Ü", 1},
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

}  // namespace
}  // namespace corvella::zpl
