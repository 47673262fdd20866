#include "zpl/document/label_renderer.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "zpl/commands/label_drawing.h"
#include "zpl/document/graphic_field.h"
#include "zpl/document/printer_memory.h"
#include "zpl/document/zpl_commands.h"
#include "zpl/text/label_text.h"

namespace corvella::zpl {
namespace {

// Dots for a length in millimetres: a printer rounds up (4 inches at 8
// dots/mm are 812.8 dots, 813 on the printer); a hair's float error above a
// whole number is not a dot more.
int DotsFor(double mm, int dots_per_mm) {
  return static_cast<int>(std::ceil(mm * dots_per_mm - 1e-6));
}

// The picture and the part of it ink can reach, in dots.
struct PageArea {
  int width = 0;
  int height = 0;
  int print_left = 0;
  int print_width = 0;
};

PageArea PageFor(const RenderOptions& options, const LabelFormat& format,
                 std::vector<std::string>& warnings) {
  // The size of a label when neither the media nor the document gives one.
  constexpr double kDefaultWidthMm = 101.6, kDefaultHeightMm = 152.4;
  const int dpmm = options.dots_per_mm;
  PageArea page;
  if (options.media) {
    // The picture is the media; a narrower print width is centred on it,
    // and only continuous media end where the label length says.
    page.width = DotsFor(options.media->width_mm, dpmm);
    page.height = format.continuous && format.label_length > 0
                      ? format.label_length
                      : DotsFor(options.media->height_mm, dpmm);
    if (format.print_width > 0 && format.print_width < page.width) {
      page.print_left = (page.width - format.print_width) / 2;
      page.print_width = format.print_width;
    }
  } else {
    page.width = format.print_width > 0 ? format.print_width : DotsFor(kDefaultWidthMm, dpmm);
    page.height = format.label_length > 0 ? format.label_length : DotsFor(kDefaultHeightMm, dpmm);
  }
  const int max_side = options.max_side_dots;
  if (page.width > max_side || page.height > max_side) {
    warnings.push_back("label of " + std::to_string(page.width) + " x " +
                       std::to_string(page.height) + " dots cut to " + std::to_string(max_side) +
                       " dots a side");
  }
  page.width = std::clamp(page.width, 1, max_side);
  page.height = std::clamp(page.height, 1, max_side);
  if (page.print_width <= 0 || page.print_left + page.print_width > page.width) {
    page.print_left = 0;
    page.print_width = page.width;
  }
  return page;
}

}  // namespace

std::optional<MediaSize> ParseMediaSize(std::string text) {
  double unit = 25.4;
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "mm") == 0) {
    unit = 1;
    text.resize(text.size() - 2);
  }
  const size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double w = g_ascii_strtod(text.c_str(), &end);
  if (end != text.c_str() + x) return std::nullopt;
  const double h = g_ascii_strtod(text.c_str() + x + 1, &end);
  if (*end != '\0' || !(w > 0) || !(h > 0) || w * unit > 2000 || h * unit > 2000) {
    return std::nullopt;
  }
  return MediaSize{w * unit, h * unit};
}

LabelRenderer::LabelRenderer(RenderOptions options)
    : options_(options),
      text_(std::make_unique<LabelText>()),
      memory_(std::make_unique<PrinterMemory>()) {
  options_.dots_per_mm = std::clamp(options_.dots_per_mm, 1, 48);
  options_.max_side_dots = std::clamp(options_.max_side_dots, 16, 32000);
}

LabelRenderer::~LabelRenderer() = default;

void LabelRenderer::storeGraphic(const ZplCommand& download, bool aborted,
                                 RenderedDocument& result) {
  // ~DGd:o.x,t,w,data: the data may itself hold commas.
  const std::vector<std::string> p = SplitParams(download.params, 4);
  const std::string name = PrinterMemory::ObjectName(p[0], "GRF");
  const size_t max_bytes =
      static_cast<size_t>(options_.max_side_dots) * static_cast<size_t>(options_.max_side_dots) / 8;
  std::string error;
  std::optional<Bitmap> graphic =
      DecodeGraphicField(static_cast<size_t>(ParamInt(p, 1, 0, 0, 1 << 30)),
                         static_cast<size_t>(ParamInt(p, 2, 0, 0, 1 << 30)),
                         p.size() == 4 ? p[3] : "", false, max_bytes, error);
  if (!graphic) {
    result.warnings.push_back("~DG " + name + " not stored: " + error);
    return;
  }
  if (aborted && !graphic->complete) {
    result.warnings.push_back("~DG " + name + " aborted by ~DN: not stored");
    return;
  }
  if (!graphic->complete) result.warnings.push_back("~DG " + name + " data ends early");
  memory_->storeGraphic(name, std::move(*graphic));
  result.stored.push_back(name);
}

bool LabelRenderer::storeFormat(const std::vector<const ZplCommand*>& label,
                                RenderedDocument& result) {
  // ^DF: the rest of the label is a format to store, not to print.
  for (size_t k = 0; k < label.size(); ++k) {
    if (label[k]->control || label[k]->code != "DF") continue;
    std::vector<ZplCommand> stored;
    for (size_t j = k + 1; j < label.size(); ++j) {
      if (label[j]->control || label[j]->code != "XZ") stored.push_back(*label[j]);
    }
    const std::string name = PrinterMemory::ObjectName(label[k]->params, "ZPL");
    memory_->storeFormat(name, std::move(stored));
    result.stored.push_back(name);
    return true;
  }
  return false;
}

void LabelRenderer::finishLabel(std::vector<const ZplCommand*>& label, LabelFormat& format,
                                std::optional<LabelCanvas>& retained, RenderedDocument& result) {
  if (storeFormat(label, result)) {
    label.clear();
    return;
  }
  std::vector<std::string> warnings;
  const std::vector<const ZplCommand*> drawn = ExpandStoredFormats(label, *memory_, warnings);
  SetUpLabel(format, drawn);
  const PageArea page = PageFor(options_, format, warnings);
  RenderedLabel rendered{LabelCanvas(page.width, page.height), LabelReport{}};
  rendered.picture.setPrintArea(page.print_left, page.print_width);
  if (retained) rendered.picture.drawCanvas(*retained);
  rendered.report.width_dots = page.width;
  rendered.report.height_dots = page.height;
  rendered.report.dots_per_mm = options_.dots_per_mm;
  rendered.report.warnings = std::move(warnings);
  DrawLabel(options_, format, *memory_, *text_, drawn, rendered, retained);
  result.labels.push_back(std::move(rendered));
  label.clear();
}

RenderedDocument LabelRenderer::render(std::string_view document) {
  RenderedDocument result;
  const std::vector<ZplCommand> commands = ParseZplCommands(document);
  LabelFormat format;
  std::optional<LabelCanvas> retained;  // the last label's picture after ^MCN
  std::vector<const ZplCommand*> label;
  bool in_label = false;
  size_t outside = 0;
  for (size_t i = 0; i < commands.size(); ++i) {
    const ZplCommand& c = commands[i];
    if (c.control && (c.code == "DG" || c.code == "DN")) {
      // Downloads take effect where they stand, inside a label or not; ~DN
      // right after a download that has not got all its data aborts it.
      if (c.code == "DG") {
        const bool aborted =
            i + 1 < commands.size() && commands[i + 1].control && commands[i + 1].code == "DN";
        storeGraphic(c, aborted, result);
      }
      if (in_label) label.push_back(&c);
    } else if (!c.control && c.code == "XA") {
      if (in_label) {
        result.warnings.push_back("^XA inside a label: the label before it ends there");
        finishLabel(label, format, retained, result);
      }
      in_label = true;
      label.push_back(&c);
    } else if (!c.control && c.code == "XZ") {
      if (in_label) {
        label.push_back(&c);
        finishLabel(label, format, retained, result);
        in_label = false;
      }
    } else if (in_label) {
      label.push_back(&c);
    } else {
      ++outside;
    }
  }
  if (in_label) {
    result.warnings.push_back("the last label has no ^XZ; drawn as it stands");
    finishLabel(label, format, retained, result);
  }
  if (outside > 0) {
    result.warnings.push_back(std::to_string(outside) + " command(s) outside ^XA ... ^XZ");
  }
  if (result.labels.empty() && result.stored.empty()) {
    result.warnings.push_back("no label (^XA ... ^XZ) in the document");
  }
  return result;
}

}  // namespace corvella::zpl
