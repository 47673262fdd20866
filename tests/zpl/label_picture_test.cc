// The renderer's pictures, read back the way a person or a scanner would
// see them: barcodes must scan to their field data, text and graphics must
// sit where the label put them.

#include "tests/zpl/label_picture.h"

#include <ZXing/ReadBarcode.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "test_print_system/label_printer.h"
#include "tests/support/program_run.h"
#include "zpl/document/label_renderer.h"

namespace corvella::zpl {
namespace {

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
    // The first letter's ink starts its left bearing, a few dots, past the
    // origin.
    Picture picture = one(std::string("^XA^FO137,211") + font + "^FDHELLO^FS^XZ");
    Picture::Box box = picture.inkBox();
    EXPECT_GE(box.left, 136);
    EXPECT_LE(box.left, 141);
    EXPECT_NEAR(box.top, 211, 2);
    // ^FT puts the baseline at the point: capitals end on it.
    picture = one(std::string("^XA^FT137,300") + font + "^FDHELLO^FS^XZ");
    box = picture.inkBox();
    EXPECT_GE(box.left, 136);
    EXPECT_LE(box.left, 141);
    EXPECT_NEAR(box.bottom, 299, 2);
  }
  // Rotated text reads downwards from the origin's top right.
  Picture rotated = one("^XA^FO300,100^A0R,60,60^FDHELLO^FS^XZ");
  Picture::Box box = rotated.inkBox();
  EXPECT_GE(box.top, 99);
  EXPECT_LE(box.top, 104);
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
          // The pen ends on the block's edge, the ink its right bearing before.
          EXPECT_GE(found[i].right, 594) << "line " << i;
          break;
        case 'C':
          EXPECT_NEAR((found[i].left + found[i].right) / 2.0, 350, 2) << "line " << i;
          break;
        case 'J':
          EXPECT_NEAR(found[i].left, 100, 3) << "line " << i;
          if (!last) {
            EXPECT_GE(found[i].right, 594) << "line " << i;
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

// The peak resident memory, in KiB, of the renderer drawing `labels`
// copies of `label` into `out`.png, ...; -1 when it did not run to a
// good end.
long RendererPeakKib(const std::string& label, int labels, const std::string& out) {
  std::string document;
  for (int i = 0; i < labels; ++i) document += label;
  std::ofstream(out + ".zpl") << document;
  const testing::ProgramRun run =
      testing::RunProgram({CORVELLA_ZPL_RENDER_PROGRAM, out + ".zpl", "-o", out + ".png"});
  return run.exitCode() == 0 ? run.peak_resident_kib : -1;
}

TEST_F(LabelPictureTest, ABatchOfLabelsTakesTheMemoryOfOne) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "resident memory is measured without sanitizers, whose quarantine grows it";
#endif
  // Each label is drawn, written and freed before the next: 200 labels
  // peak no higher than 1.5 times 2 of them, and every one is written.
  const std::string label = "^XA^PW400^LL600^FO20,20^GB360,300,6^FS^FO20,400^A0N,50^FDBATCH^FS^XZ";
  const long two = RendererPeakKib(label, 2, scratch_.path() + "/two");
  const long many = RendererPeakKib(label, 200, scratch_.path() + "/many");
  ASSERT_GT(two, 0);
  ASSERT_GT(many, 0);
  EXPECT_LE(many, two * 3 / 2) << "2 labels: " << two << " KiB, 200 labels: " << many << " KiB";
  EXPECT_EQ(ReadPng(scratch_.path() + "/many-200.png").count(0, 0, 400, 600),
            ReadPng(scratch_.path() + "/many.png").count(0, 0, 400, 600));
  std::stringstream report;
  report << std::ifstream(scratch_.path() + "/many.json").rdbuf();
  EXPECT_NE(report.str().find("\"many-200.png\""), std::string::npos);
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

}  // namespace
}  // namespace corvella::zpl
