// Drawing a finished field (^FS): its text, ^GS marks or barcode.
#include <glib.h>

#include <optional>
#include <string>

#include "zpl/barcodes/barcode_drawing.h"
#include "zpl/barcodes/barcode_field.h"
#include "zpl/commands/label_state.h"
#include "zpl/document/label_renderer.h"
#include "zpl/drawing/graphic_symbols.h"
#include "zpl/text/text_field.h"

namespace corvella::zpl {
namespace {

// The ^GS cell when neither the command nor ^CF gives a height.
constexpr int kSymbolCell = 24;

// ^FH: the indicator followed by two hex digits stands for that byte.
std::string ExpandHexEscapes(const std::string& data, char indicator) {
  std::string out;
  out.reserve(data.size());
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == indicator && i + 2 < data.size() && g_ascii_xdigit_value(data[i + 1]) >= 0 &&
        g_ascii_xdigit_value(data[i + 2]) >= 0) {
      out.push_back(static_cast<char>(g_ascii_xdigit_value(data[i + 1]) * 16 +
                                      g_ascii_xdigit_value(data[i + 2])));
      i += 2;
    } else {
      out.push_back(data[i]);
    }
  }
  return out;
}

std::string FieldBytes(const FieldState& field) {
  std::string data = field.data.value_or("");
  if (field.hex_indicator) data = ExpandHexEscapes(data, *field.hex_indicator);
  return data;
}

void MovePen(LabelState& s, Point pen) {
  s.field.placement.x = pen.x;
  s.field.placement.y = pen.y;
}

void DrawText(LabelState& s, const std::string& text) {
  const FontChoice font = s.field.font.value_or(s.format.default_font);
  const Orientation orientation = s.field.orientation.value_or(s.format.default_orientation);
  const TextBlock* block = s.field.block ? &*s.field.block : nullptr;
  const TextFieldResult drawn =
      DrawTextField(s.label.picture, s.text, s.placement(orientation), s.ink(), text, font, block);
  if (drawn.truncated) s.warn("^FB text has more lines than the block allows");
  if (drawn.cut_to > 0) {
    s.warn("text in a font " + std::to_string(font.height) + " x " + std::to_string(font.width) +
           " dots cut to its first " + std::to_string(drawn.cut_to) + " characters");
  }
  MovePen(s, drawn.pen);
}

// ^GS in the height it asks, else ^CF's, else the symbols' own cell.
void DrawSymbols(LabelState& s, const PendingSymbol& symbol, const std::string& letters) {
  const int asked = s.field.font ? s.field.font->height : s.format.default_height;
  const double h = symbol.height > 0 ? symbol.height : asked > 0 ? asked : kSymbolCell;
  // No real mark is stretched more than a few times; the text engine
  // refuses a font stretched thousands of times wider than high (and never
  // frees it), so the mark's width stops at kMaxSymbolStretch heights.
  constexpr double kMaxSymbolStretch = 1000;
  double w = symbol.width > 0 ? symbol.width : h;
  if (w > kMaxSymbolStretch * h) {
    s.warn("^GS " + std::to_string(static_cast<int>(h)) + " x " +
           std::to_string(static_cast<int>(w)) + " drawn " +
           std::to_string(static_cast<int>(kMaxSymbolStretch)) +
           " times as wide as high, not wider");
    w = kMaxSymbolStretch * h;
  }
  const std::optional<Point> pen = DrawGraphicSymbols(
      s.label.picture, s.text, s.placement(symbol.orientation), s.ink(), letters, h, w);
  if (!pen) {
    s.warn("^GS data '" + letters + "' has no symbol letter (A to E)");
    return;
  }
  MovePen(s, *pen);
}

void DrawBarcodeField(LabelState& s, const PendingBarcode& barcode, const std::string& data) {
  const BarcodeDefaults defaults{s.format.module_width, s.format.ratio, s.format.bar_height,
                                 s.options.dots_per_mm};
  std::string error;
  const std::optional<BarcodeField> field = ReadBarcodeField(barcode.params, data, defaults, error);
  if (!field) {
    s.warn("^" + barcode.code + " not drawn: " + error);
    return;
  }
  for (const std::string& warning : field->warnings) s.warn(warning);
  Placement at = s.placement(barcode.orientation);
  // A printer draws a QR code placed by its top left corner (^FO) lower by
  // the bar height ^BY last set; placed by ^FT, with its bottom 7 modules
  // (a finder pattern's height) above the origin, whatever ^BY says.
  if (std::holds_alternative<QrParams>(barcode.params)) {
    constexpr int kTypesetModules = 7;
    at.y += at.typeset ? -kTypesetModules * field->module : s.format.bar_height;
  }
  DrawBarcode(s.label.picture, s.text, at, s.ink(), *field, s.options.dots_per_mm);
}

}  // namespace

void LabelState::warn(std::string message) {
  if (label.report.warnings.size() < 100) label.report.warnings.push_back(std::move(message));
}

void LabelState::finishField() {
  if (field.barcode) {
    DrawBarcodeField(*this, *field.barcode, FieldBytes(field));
  } else if (field.symbol && field.data) {
    DrawSymbols(*this, *field.symbol, FieldBytes(field));
  } else if (field.data) {
    DrawText(*this, format.code_page.decode(FieldBytes(field)));
  }
  const Placement kept = field.placement;
  field = FieldState{};
  field.placement = kept;
}

}  // namespace corvella::zpl
