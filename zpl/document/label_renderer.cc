#include "zpl/document/label_renderer.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "zpl/commands/command_params.h"
#include "zpl/commands/label_drawing.h"
#include "zpl/document/document_drawing.h"
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

std::optional<int> ParseDotsPerMm(std::string_view text) {
  for (int dots_per_mm : {6, 8, 12, 24}) {
    if (text == std::to_string(dots_per_mm)) return dots_per_mm;
  }
  return std::nullopt;
}

LabelRenderer::LabelRenderer(RenderOptions options)
    : options_(options),
      text_(std::make_unique<LabelText>()),
      memory_(std::make_unique<PrinterMemory>()) {
  options_.dots_per_mm = std::clamp(options_.dots_per_mm, 1, 48);
  options_.max_side_dots = std::clamp(options_.max_side_dots, 16, 32000);
}

LabelRenderer::~LabelRenderer() = default;

void LabelRenderer::storeGraphic(const ZplCommand& download, bool aborted, DocumentReport& result) {
  // ~DGd:o.x,t,w,data: the data may itself hold commas.
  struct Download {
    std::string name;
    int total_bytes = 0, row_bytes = 0;
    std::string data;
  };
  const Download d = ReadParams(SplitParams(download.params, 4), Download{}, P(&Download::name),
                                P(&Download::total_bytes, 0, 1 << 30),
                                P(&Download::row_bytes, 0, 1 << 30), P(&Download::data));
  const std::string name = PrinterMemory::objectName(d.name, "GRF");
  const size_t max_bytes =
      static_cast<size_t>(options_.max_side_dots) * static_cast<size_t>(options_.max_side_dots) / 8;
  std::string error;
  std::optional<Bitmap> graphic =
      DecodeGraphicField(static_cast<size_t>(d.total_bytes), static_cast<size_t>(d.row_bytes),
                         d.data, false, max_bytes, error);
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

bool LabelRenderer::storeFormat(const std::vector<ZplCommand>& label, DocumentReport& result) {
  // ^DF: the rest of the label is a format to store, not to print.
  for (size_t k = 0; k < label.size(); ++k) {
    if (label[k].control || label[k].code != "DF") continue;
    std::vector<ZplCommand> stored;
    for (size_t j = k + 1; j < label.size(); ++j) {
      if (label[j].control || label[j].code != "XZ") stored.push_back(label[j]);
    }
    const std::string name = PrinterMemory::objectName(label[k].params, "ZPL");
    memory_->storeFormat(name, std::move(stored));
    result.stored.push_back(name);
    return true;
  }
  return false;
}

std::optional<RenderedLabel> LabelRenderer::finishLabel(const std::vector<ZplCommand>& label,
                                                        LabelFormat& format,
                                                        std::optional<LabelCanvas>& retained,
                                                        DocumentReport& result, bool draw) {
  if (storeFormat(label, result)) return std::nullopt;
  std::vector<const ZplCommand*> commands;
  commands.reserve(label.size());
  for (const ZplCommand& c : label) commands.push_back(&c);
  std::vector<std::string> warnings;
  const std::vector<const ZplCommand*> drawn = ExpandStoredFormats(commands, *memory_, warnings);
  SetUpLabel(format, drawn);
  const PageArea page = PageFor(options_, format, warnings);
  RenderedLabel rendered{draw ? LabelCanvas(page.width, page.height) : LabelCanvas(1, 1),
                         LabelReport{}};
  rendered.report.width_dots = page.width;
  rendered.report.height_dots = page.height;
  rendered.report.dots_per_mm = options_.dots_per_mm;
  rendered.report.warnings = std::move(warnings);
  if (!draw) return rendered;
  rendered.picture.setPrintArea(page.print_left, page.print_width);
  if (retained) rendered.picture.drawCanvas(*retained);
  DrawLabel(options_, format, *memory_, *text_, drawn, rendered, retained);
  return rendered;
}

RenderedDocument LabelRenderer::render(std::string_view document) {
  RenderedDocument result;
  DocumentDrawing drawing(*this, document);
  while (std::optional<RenderedLabel> label = drawing.next()) {
    result.labels.push_back(std::move(*label));
  }
  static_cast<DocumentReport&>(result) = drawing.report();
  return result;
}

}  // namespace corvella::zpl
