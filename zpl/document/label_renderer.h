#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

// The media loaded in a printer.
struct MediaSize {
  double width_mm = 101.6;  // 4 x 6 inches
  double height_mm = 152.4;
};

// A media size as "WxH" in inches ("4x6") or with the suffix mm in
// millimetres ("100x150mm"), each side above 0 and at most 2 m; nothing
// for any other text.
std::optional<MediaSize> ParseMediaSize(std::string text);

// A printer's resolution in dots per millimetre as a program's option
// gives it: "6", "8", "12" or "24"; nothing for any other text.
std::optional<int> ParseDotsPerMm(std::string_view text);

struct RenderOptions {
  int dots_per_mm = 8;  // 6, 8, 12 or 24
  // With media, each picture is the media: a print width (^PW) narrower than
  // the media is centred on it and no ink falls outside it, and the label
  // length (^LL) cuts the picture only on continuous media (^MNN). Without,
  // the document's ^PW and ^LL give the picture's size, else 4 x 6 inches.
  std::optional<MediaSize> media;
  // No picture is larger than this on either side, whatever a document asks.
  int max_side_dots = 8000;
};

// What became of one label's commands.
struct LabelReport {
  int width_dots = 0;
  int height_dots = 0;
  int dots_per_mm = 0;
  std::map<std::string, int> drawn;    // commands that drew or set up the label
  std::map<std::string, int> ignored;  // printer settings with nothing to draw
  std::map<std::string, int> skipped;  // commands this renderer does not know
  std::vector<std::string> warnings;
};

struct RenderedLabel {
  LabelCanvas picture;
  LabelReport report;
};

// What a document did outside its labels' pictures.
struct DocumentReport {
  std::vector<std::string> stored;    // objects stored in the printer (^DF, ~DG)
  std::vector<std::string> warnings;  // about the document outside labels
};

struct RenderedDocument : DocumentReport {
  std::vector<RenderedLabel> labels;  // one per ^XA ... ^XZ but those storing a format (^DF)
};

class DocumentDrawing;
class LabelText;
class PrinterMemory;
struct LabelFormat;
struct ZplCommand;

// Draws ZPL documents. Any input is accepted: what cannot be drawn is
// reported and drawing goes on. Like a printer, a renderer keeps the formats
// and graphics documents store (^DF, ~DG) for the documents after them. One
// renderer per thread. A document of many labels is drawn one label at a
// time with a DocumentDrawing (document_drawing.h), so that only one
// label's picture is held at once; render() keeps them all.
class LabelRenderer {
 public:
  explicit LabelRenderer(RenderOptions options = {});
  ~LabelRenderer();
  LabelRenderer(const LabelRenderer&) = delete;
  LabelRenderer& operator=(const LabelRenderer&) = delete;

  // Every label of the document at once.
  RenderedDocument render(std::string_view document);

  const RenderOptions& options() const { return options_; }

 private:
  friend class DocumentDrawing;
  void storeGraphic(const ZplCommand& download, bool aborted, DocumentReport& result);
  // Stores the label as a format when it holds ^DF; false when it does not.
  bool storeFormat(const std::vector<ZplCommand>& label, DocumentReport& result);
  // Draws the label `label` holds, or only sizes it when `draw` is false
  // (its picture then one dot); nothing when it stores a format.
  std::optional<RenderedLabel> finishLabel(const std::vector<ZplCommand>& label,
                                           LabelFormat& format,
                                           std::optional<LabelCanvas>& retained,
                                           DocumentReport& result, bool draw);

  RenderOptions options_;
  std::unique_ptr<LabelText> text_;
  std::unique_ptr<PrinterMemory> memory_;
};

}  // namespace corvella::zpl
