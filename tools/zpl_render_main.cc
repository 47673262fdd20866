// corvella-zpl-render: draws each label of a ZPL document as a PNG picture,
// with a JSON report of what was drawn, ignored and skipped.

#include <glib.h>

#include <cstdio>
#include <optional>
#include <string>

#include "tools/command_line.h"
#include "tools/field_overrun.h"
#include "zpl/document/document_drawing.h"
#include "zpl/document/label_pictures.h"
#include "zpl/document/label_renderer.h"

namespace {

constexpr const char* kTool = "corvella-zpl-render";

constexpr const char* kDescription =
    "Draws every label (^XA ... ^XZ) of LABEL.zpl ('-': standard input) as a\n"
    "printer would print it: the first as OUT.png, the next as OUT-2.png,\n"
    "OUT-3.png, ..., one-bit PNGs that carry their resolution, and writes\n"
    "OUT.json, a report of each label's size and of the commands drawn, ignored\n"
    "and skipped. Each picture's size and each warning is printed, among them\n"
    "a field that runs past the label's right or bottom edge (^PW, ^LL).\n"
    "\n"
    "With --size, a print width (^PW) narrower than the media is centred on it;\n"
    "without, the document's ^PW and ^LL give the picture's size, else 4 x 6\n"
    "inches.\n"
    "\n"
    "Exit status: 0 when at least one label was drawn; 1 when none was (the\n"
    "document holds no ^XA ... ^XZ) or a file cannot be read or written; 2 for\n"
    "a usage error.";

// Largest document read.
constexpr size_t kMaxDocumentBytes = 64u << 20;

struct Settings {
  corvella::zpl::RenderOptions options;
  gchar* output = nullptr;
  gboolean version = FALSE;
  ~Settings() { g_free(output); }
};

gboolean ReadDpmm(const gchar* option, const gchar* value, gpointer data, GError** error) {
  const std::optional<int> dots_per_mm = corvella::zpl::ParseDotsPerMm(value);
  if (!dots_per_mm) return corvella::BadOptionValue(error, option, value, "6, 8, 12 or 24");
  static_cast<Settings*>(data)->options.dots_per_mm = *dots_per_mm;
  return TRUE;
}

gboolean ReadSize(const gchar* option, const gchar* value, gpointer data, GError** error) {
  auto* settings = static_cast<Settings*>(data);
  settings->options.media = corvella::zpl::ParseMediaSize(value);
  if (!settings->options.media) {
    return corvella::BadOptionValue(error, option, value, "a size (e.g. 4x6 or 100x150mm)");
  }
  return TRUE;
}

// A printer's nominal resolution in dots per inch.
int NominalDpi(int dots_per_mm) {
  switch (dots_per_mm) {
    case 6:
      return 152;
    case 12:
      return 300;
    case 24:
      return 600;
    default:
      return 203;
  }
}

std::string Inches(int dots, int dots_per_mm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", dots / (dots_per_mm * 25.4));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  const GOptionEntry entries[] = {
      {"output", 'o', G_OPTION_FLAG_NONE, G_OPTION_ARG_FILENAME, &settings.output,
       "The first picture (a name ending in .png; required)", "OUT.png"},
      {"dpmm", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK, reinterpret_cast<void*>(&ReadDpmm),
       "Dots per millimetre of the printer: 6, 8 (the default, 203 dpi), 12 or 24", "N"},
      {"size", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK, reinterpret_cast<void*>(&ReadSize),
       "The media loaded (inches, or millimetres with mm): each picture is the media", "WxH[mm]"},
      {"version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &settings.version, "Show the version",
       nullptr},
      {},
  };
  if (const std::optional<int> stop = corvella::ParseToolOptions(
          kTool, "LABEL.zpl", kDescription, entries, &settings, settings.version, argc, argv)) {
    return *stop;
  }
  if (argc < 2)
    return corvella::UsageError(kTool, "Missing LABEL.zpl (a file, or - for standard input)");
  if (argc > 2) return corvella::UsageError(kTool, std::string("Unexpected argument ") + argv[2]);
  if (settings.output == nullptr) return corvella::UsageError(kTool, "Missing -o OUT.png");
  const std::string input = argv[1];
  const std::string output = settings.output;
  // The pictures are named after the output; a name without .png would not
  // be the file written.
  if (output.size() <= 4 || output.compare(output.size() - 4, 4, ".png") != 0) {
    return corvella::UsageError(kTool, "-o " + output + ": the name must end in .png");
  }
  const std::string stem = output.substr(0, output.size() - 4);

  std::string error;
  std::optional<std::string> document = corvella::ReadInputFile(input, kMaxDocumentBytes, error);
  if (!document) {
    std::fprintf(stderr, "%s: %s\n", kTool, error.c_str());
    return 1;
  }
  // Each label is drawn, written and checked before the next, so a
  // document of any number of labels holds one picture at a time.
  corvella::zpl::LabelRenderer renderer(settings.options);
  corvella::zpl::DocumentDrawing drawing(renderer, *document);
  corvella::zpl::FieldOverrunCheck overruns(settings.options, *document);
  corvella::zpl::LabelPictureWriter writer(stem);
  while (const std::optional<corvella::zpl::RenderedLabel> label = drawing.next()) {
    const size_t index = writer.count();
    if (!writer.add(*label, error)) {
      std::fprintf(stderr, "%s: %s\n", kTool, error.c_str());
      return 1;
    }
    const corvella::zpl::LabelReport& report = label->report;
    const std::string picture = corvella::zpl::PicturePath(stem, index);
    std::vector<std::string> warnings = report.warnings;
    const std::vector<std::string> overrun = overruns.next();
    warnings.insert(warnings.end(), overrun.begin(), overrun.end());
    std::printf("%s: %d x %d dots, %s x %s in at %d dpi, %zu warning%s\n", picture.c_str(),
                report.width_dots, report.height_dots,
                Inches(report.width_dots, report.dots_per_mm).c_str(),
                Inches(report.height_dots, report.dots_per_mm).c_str(),
                NominalDpi(report.dots_per_mm), warnings.size(), warnings.size() == 1 ? "" : "s");
    for (const std::string& warning : warnings) {
      std::fprintf(stderr, "%s: warning: %s: %s\n", kTool, picture.c_str(), warning.c_str());
    }
  }
  for (const std::string& warning : drawing.report().warnings) {
    std::fprintf(stderr, "%s: warning: %s: %s\n", kTool, input.c_str(), warning.c_str());
  }
  if (writer.count() == 0) {
    std::fprintf(stderr, "%s: %s holds no label (^XA ... ^XZ): nothing drawn\n", kTool,
                 input.c_str());
    return 1;
  }
  if (!writer.finish(drawing.report(), error)) {
    std::fprintf(stderr, "%s: %s\n", kTool, error.c_str());
    return 1;
  }
  std::printf("%s\n", corvella::zpl::ReportPath(stem).c_str());
  return 0;
}
