// The command-line conventions every tool of this tree keeps, run as a user
// runs them: --help and --version on standard output with status 0, a usage
// error as one line and a pointer to --help with status 2, a file error
// naming the file and the reason, the same words for the same mistake.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_print_system/file_util.h"
#include "tests/host/host_process.h"
#include "tests/support/program_run.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

// Runs `program` with `args` in `directory`, its input /dev/null, with no
// print system and no display to reach.
ProgramRun RunTool(const std::string& program, const std::vector<std::string>& args,
                   const fs::path& directory) {
  PrepareSanitizersForChildren();
  std::vector<std::string> argv = {"/usr/bin/env",
                                   "-C",
                                   directory.string(),
                                   "-u",
                                   "CORVELLA_PRINT_DIR",
                                   "CUPS_SERVER=/nonexistent/cups.sock",
                                   program};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

enum class Stream { kOut, kErr };

struct Row {
  const char* tool;
  std::vector<std::string> args;
  int exit;
  Stream stream;           // where the first line is
  const char* first_line;  // the whole first line of that stream
};

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() / ("tools-" + std::to_string(::getpid()));
    fs::create_directories(directory_);
    Write("good.zpl", "^XA^FO50,50^A0N,40,40^FDHello^FS^XZ");
    Write("latin1.zpl", "^XA^FD\xE9t\xE9^FS^XZ");
    Write("words.txt", "hello world\n");
    Write("past.zpl", "^XA^PW400^LL100^FO300,80^GB200,50,50^FS^XZ");
    Write("fits.zpl", "^XA^PW400^LL100^FO200,50^GB200,50,50^FS^XZ");
  }
  void TearDown() override { fs::remove_all(directory_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(directory_ / name, std::ios::binary) << bytes;
  }
  static std::string Program(const std::string& tool) {
    return std::string(CORVELLA_TOOLS_DIR) + "/" + tool;
  }
  fs::path directory_;
};

TEST_F(CommandLineTest, EveryToolKeepsTheConventions) {
  // clang-format off
  const std::vector<Row> rows = {
      // --help and --version.
      {"corvella-call", {"--help"}, 0, Stream::kOut,
       "Usage: corvella-call [--host PATH] [--channel NAME] METHOD [ARG...] [METHOD [ARG...]]..."},
      {"corvella-zpl-render", {"--help"}, 0, Stream::kOut, "Usage:"},
      {"corvella-label-printer", {"-h"}, 0, Stream::kOut, "Usage:"},
      {"corvella-print-system", {"--help"}, 0, Stream::kOut, "Usage:"},
      {"corvella-call", {"--version"}, 0, Stream::kOut, "corvella-call 1.0.0"},
      {"corvella-zpl-render", {"--version"}, 0, Stream::kOut, "corvella-zpl-render 1.0.0"},
      {"corvella-label-printer", {"--version"}, 0, Stream::kOut, "corvella-label-printer 1.0.0"},
      {"corvella-print-system", {"--version"}, 0, Stream::kOut, "corvella-print-system 1.0.0"},
      // The same mistake in the same words.
      {"corvella-call", {"--bogus", "initialize"}, 2, Stream::kErr,
       "corvella-call: Unknown option --bogus"},
      {"corvella-zpl-render", {"--bogus"}, 2, Stream::kErr,
       "corvella-zpl-render: Unknown option --bogus"},
      {"corvella-label-printer", {"--bogus"}, 2, Stream::kErr,
       "corvella-label-printer: Unknown option --bogus"},
      {"corvella-print-system", {"--bogus"}, 2, Stream::kErr,
       "corvella-print-system: Unknown option --bogus"},
      {"corvella-call", {"--host"}, 2, Stream::kErr,
       "corvella-call: Missing argument for --host"},
      {"corvella-zpl-render", {"good.zpl", "-o"}, 2, Stream::kErr,
       "corvella-zpl-render: Missing argument for -o"},
      {"corvella-label-printer", {"--jobs"}, 2, Stream::kErr,
       "corvella-label-printer: Missing argument for --jobs"},
      {"corvella-print-system", {"--queue"}, 2, Stream::kErr,
       "corvella-print-system: Missing argument for --queue"},
      {"corvella-zpl-render", {"good.zpl", "-o", "a.png", "--size=4by6"}, 2, Stream::kErr,
       "corvella-zpl-render: --size: '4by6' is not a size (e.g. 4x6 or 100x150mm)"},
      {"corvella-label-printer", {"--jobs=jobs", "--media=4by6"}, 2, Stream::kErr,
       "corvella-label-printer: --media: '4by6' is not a size (e.g. 4x6 or 100x150mm)"},
      {"corvella-print-system", {"--queue", "Q", "--media=4by6", "--", "true"}, 2, Stream::kErr,
       "corvella-print-system: --media: '4by6' is not a size (e.g. 4x6 or 100x150mm)"},
      {"corvella-zpl-render", {"good.zpl", "-o", "a.png", "--dpmm", "7"}, 2, Stream::kErr,
       "corvella-zpl-render: --dpmm: '7' is not 6, 8, 12 or 24"},
      {"corvella-label-printer", {"--jobs", "jobs", "--dpmm=7"}, 2, Stream::kErr,
       "corvella-label-printer: --dpmm: '7' is not 6, 8, 12 or 24"},
      {"corvella-label-printer", {"--jobs", "jobs", "--mode", "fast"}, 2, Stream::kErr,
       "corvella-label-printer: --mode: 'fast' is not record, close, stall or down"},
      {"corvella-print-system", {"--printer=Q", "--mode=fast"}, 2, Stream::kErr,
       "corvella-print-system: --mode: 'fast' is not record, close, stall or down"},
      {"corvella-label-printer", {"--jobs", "jobs", "--port=65536"}, 2, Stream::kErr,
       "corvella-label-printer: --port: '65536' is not a port (0 to 65535)"},
      {"corvella-zpl-render", {"good.zpl", "more.zpl", "-o", "a.png"}, 2, Stream::kErr,
       "corvella-zpl-render: Unexpected argument more.zpl"},
      {"corvella-label-printer", {"--jobs", "jobs", "extra"}, 2, Stream::kErr,
       "corvella-label-printer: Unexpected argument extra"},
      {"corvella-print-system", {"extra"}, 2, Stream::kErr,
       "corvella-print-system: Unexpected argument extra"},
      // Options are checked before anything starts.
      {"corvella-print-system", {"--mode", "close", "--", "true"}, 2, Stream::kErr,
       "corvella-print-system: --mode works only with --printer NAME"},
      {"corvella-print-system", {"--queue=Q", "--default=Nope", "--", "true"}, 2, Stream::kErr,
       "corvella-print-system: --default: 'Nope' is not one of the --queue names"},
      {"corvella-print-system", {"--queue", "a b", "--", "true"}, 2, Stream::kErr,
       "corvella-print-system: --queue: 'a b' is not a queue name (letters, digits, '_', '.', '-')"},
      {"corvella-print-system", {"--printer", "Q"}, 1, Stream::kErr,
       "corvella-print-system: --printer works inside a running print system "
       "(CORVELLA_PRINT_DIR, CUPS_SERVER)"},
      // Names the renderer would change are refused.
      {"corvella-zpl-render", {"good.zpl", "-o", "u9.jpg"}, 2, Stream::kErr,
       "corvella-zpl-render: -o u9.jpg: the name must end in .png"},
      {"corvella-zpl-render", {"good.zpl", "-o", "-"}, 2, Stream::kErr,
       "corvella-zpl-render: -o -: the name must end in .png"},
      // A file error names the file and the reason.
      {"corvella-call", {"printZPL", "zplCommands=@missing.zpl"}, 4, Stream::kErr,
       "corvella-call: printZPL: zplCommands: cannot read missing.zpl: No such file or directory"},
      {"corvella-call", {"printZPL", "zplCommands=@."}, 4, Stream::kErr,
       "corvella-call: printZPL: zplCommands: cannot read .: Is a directory"},
      {"corvella-call", {"printZPL", "zplCommands=@latin1.zpl"}, 4, Stream::kErr,
       "corvella-call: printZPL: zplCommands: latin1.zpl is not UTF-8 text (byte 0xE9 at offset "
       "6); convert it (iconv -f CP1252 -t UTF-8) or send graphics as ASCII hex (^GFA)"},
      {"corvella-zpl-render", {"missing.zpl", "-o", "a.png"}, 1, Stream::kErr,
       "corvella-zpl-render: cannot read missing.zpl: No such file or directory"},
      {"corvella-zpl-render", {".", "-o", "a.png"}, 1, Stream::kErr,
       "corvella-zpl-render: cannot read .: Is a directory"},
      {"corvella-label-printer", {"--jobs", "missing/jobs"}, 1, Stream::kErr,
       "corvella-label-printer: cannot create missing/jobs: No such file or directory"},
      // What the renderer draws and what it warns about.
      {"corvella-zpl-render", {"good.zpl", "-o", "good.png"}, 0, Stream::kOut,
       "good.png: 813 x 1220 dots, 4.00 x 6.00 in at 203 dpi, 0 warnings"},
      {"corvella-zpl-render", {"good.zpl", "-o", "fine.png", "--dpmm=12", "--size", "100x150mm"},
       0, Stream::kOut, "fine.png: 1200 x 1800 dots, 3.94 x 5.91 in at 300 dpi, 0 warnings"},
      {"corvella-zpl-render", {"words.txt", "-o", "words.png"}, 1, Stream::kErr,
       "corvella-zpl-render: warning: words.txt: no label (^XA ... ^XZ) in the document"},
      {"corvella-zpl-render", {"past.zpl", "-o", "past.png"}, 0, Stream::kOut,
       "past.png: 400 x 100 dots, 1.97 x 0.49 in at 203 dpi, 2 warnings"},
      {"corvella-zpl-render", {"past.zpl", "-o", "past.png"}, 0, Stream::kErr,
       "corvella-zpl-render: warning: past.png: a field runs past the right edge (x 400): ink "
       "reaches x 499"},
      {"corvella-zpl-render", {"fits.zpl", "-o", "fits.png"}, 0, Stream::kOut,
       "fits.png: 400 x 100 dots, 1.97 x 0.49 in at 203 dpi, 0 warnings"},
  };
  // clang-format on
  for (const Row& row : rows) {
    std::string shown = row.tool;
    for (const std::string& arg : row.args) shown += " " + arg;
    SCOPED_TRACE(shown);
    const ProgramRun run = RunTool(Program(row.tool), row.args, directory_);
    EXPECT_EQ(run.exitCode(), row.exit) << run.errors;
    const std::vector<std::string> lines =
        Lines(row.stream == Stream::kOut ? run.output : run.errors);
    ASSERT_FALSE(lines.empty()) << "out: " << run.output << "\nerr: " << run.errors;
    EXPECT_EQ(lines[0], row.first_line);
    if (row.exit == 0 && row.stream == Stream::kOut && row.args[0][0] == '-') {
      EXPECT_EQ(run.errors, "");  // --help and --version say nothing else
    }
    if (row.exit == 2) {
      // A usage error: that one line, a pointer to --help, nothing else.
      EXPECT_EQ(run.output, "");
      EXPECT_EQ(run.errors, row.first_line + std::string("\nTry '") + row.tool + " --help'.\n");
    }
  }
  // Nothing was written under a name other than the one asked for.
  EXPECT_FALSE(fs::exists(directory_ / "u9.jpg.png"));
  EXPECT_FALSE(fs::exists(directory_ / "-.png"));
  EXPECT_FALSE(fs::exists(directory_ / "words.png"));
}

// The resolution a PNG records in its pHYs chunk, in dots per metre, or 0.
uint32_t PngDotsPerMetre(const fs::path& path) {
  const std::string png = ReadFile(path).value_or("");
  const size_t at = png.find("pHYs");
  if (at == std::string::npos || at + 13 > png.size()) return 0;
  auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(png[i])); };
  const uint32_t x = byte(at + 4) << 24 | byte(at + 5) << 16 | byte(at + 6) << 8 | byte(at + 7);
  const uint32_t y = byte(at + 8) << 24 | byte(at + 9) << 16 | byte(at + 10) << 8 | byte(at + 11);
  const bool metres = byte(at + 12) == 1;
  return x == y && metres ? x : 0;
}

TEST_F(CommandLineTest, PicturesRecordThePrintersResolution) {
  for (const char* dpmm : {"6", "8", "12", "24"}) {
    SCOPED_TRACE(dpmm);
    const std::string name = std::string("label-") + dpmm + ".png";
    const ProgramRun run = RunTool(Program("corvella-zpl-render"),
                                   {"good.zpl", "-o", name, "--dpmm", dpmm}, directory_);
    ASSERT_EQ(run.exitCode(), 0) << run.errors;
    EXPECT_EQ(PngDotsPerMetre(directory_ / name), 1000u * static_cast<uint32_t>(std::stoi(dpmm)));
  }
}

}  // namespace
}  // namespace corvella::testing
