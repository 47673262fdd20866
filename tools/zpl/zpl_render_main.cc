// corvella-zpl-render: draws each label of a ZPL document as a PNG picture,
// with a JSON report of what was drawn, ignored and skipped.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Runner/failure.h"
#include "tools/zpl/label_pictures.h"
#include "tools/zpl/label_renderer.h"

namespace {

constexpr const char* kUsage =
    "usage: corvella-zpl-render LABEL.zpl -o OUT.png [--dpmm 6|8|12|24] [--size WxH[mm]]\n"
    "\n"
    "Draws every label (^XA ... ^XZ) of LABEL.zpl ('-': standard input): the first\n"
    "as OUT.png, the next as OUT-2.png, OUT-3.png, ..., and writes OUT.json, a\n"
    "report of each label's size and of the commands drawn, ignored and skipped.\n"
    "  --dpmm N      dots per millimetre of the printer (default 8, 203 dpi)\n"
    "  --size WxH    the media loaded, in inches or, with the suffix mm, in\n"
    "                millimetres: each picture is the media, a narrower print\n"
    "                width (^PW) centred on it. Without it, the document's ^PW\n"
    "                and ^LL give the picture's size, else 4 x 6 inches\n";

// Largest document read.
constexpr size_t kMaxDocumentBytes = 64u << 20;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "corvella-zpl-render: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

bool ReadDocument(const std::string& path, std::string& document, std::string& error) {
  FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rbe");
  if (!file) {
    error = "cannot read " + path + ": " + corvella::PosixErrorText(errno);
    return false;
  }
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    document.append(buffer, n);
    if (document.size() > kMaxDocumentBytes) {
      error = path + " is larger than 64 MiB";
      break;
    }
  }
  const bool failed = std::ferror(file) != 0;
  if (failed) error = "cannot read " + path + ": " + corvella::PosixErrorText(errno);
  if (file != stdin) std::fclose(file);
  return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
  corvella::zpl::RenderOptions options;
  std::string input, output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-o" || arg == "--dpmm" || arg == "--size") {
      if (i + 1 >= argc) return UsageError(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "-o") {
        output = value;
      } else if (arg == "--dpmm") {
        if (value != "6" && value != "8" && value != "12" && value != "24") {
          return UsageError("--dpmm takes 6, 8, 12 or 24");
        }
        options.dots_per_mm = std::atoi(value.c_str());
      } else {
        options.media = corvella::zpl::ParseMediaSize(value);
        if (!options.media) return UsageError("bad size '" + value + "' (e.g. 4x6 or 100x150mm)");
      }
    } else if (input.empty() && (arg == "-" || arg[0] != '-')) {
      input = arg;
    } else {
      return UsageError("unexpected argument '" + arg + "'");
    }
  }
  if (input.empty()) return UsageError("no ZPL document given");
  if (output.empty()) return UsageError("-o OUT.png is required");
  const std::string stem = output.size() > 4 && output.compare(output.size() - 4, 4, ".png") == 0
                               ? output.substr(0, output.size() - 4)
                               : output;

  std::string document, error;
  if (!ReadDocument(input, document, error)) {
    std::fprintf(stderr, "corvella-zpl-render: %s\n", error.c_str());
    return 1;
  }
  corvella::zpl::LabelRenderer renderer(options);
  const corvella::zpl::RenderedDocument rendered = renderer.render(document);
  if (!corvella::zpl::WriteLabelPictures(rendered, stem, error)) {
    std::fprintf(stderr, "corvella-zpl-render: %s\n", error.c_str());
    return 1;
  }
  for (size_t i = 0; i < rendered.labels.size(); ++i) {
    const auto& report = rendered.labels[i].report;
    std::printf("%s: %d x %d dots, %zu warning(s)\n", corvella::zpl::PicturePath(stem, i).c_str(),
                report.width_dots, report.height_dots, report.warnings.size());
  }
  std::printf("%s\n", corvella::zpl::ReportPath(stem).c_str());
  return 0;
}
