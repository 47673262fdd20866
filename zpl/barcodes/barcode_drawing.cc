#include "zpl/barcodes/barcode_drawing.h"

#include <cmath>
#include <utility>
#include <vector>

#include "zpl/text/label_text.h"

namespace corvella::zpl {
namespace {

// The interpretation line grows with the module: a printer sets it in font
// 0 10 modules high and 12 wide, so that its digits stand 6 modules apart
// and 7.5 tall, with the lighter strokes of LabelText::Style::kLight; 2.5
// modules from the bars, below or above them.
FontChoice InterpretationFont(int module) { return ResolveFont('0', 10 * module, 12 * module); }

// A linear symbol's bars as runs of (width in dots, dark): wide elements of
// Code 39 and 2 of 5 follow the ratio.
std::vector<std::pair<int, bool>> BarRuns(const BarcodeField& field, int& total_width) {
  const BarcodeModules& modules = field.modules;
  std::vector<std::pair<int, bool>> runs;
  total_width = 0;
  for (int c = 0; c < modules.columns;) {
    const bool dark = modules.at(0, c);
    int n = 1;
    while (c + n < modules.columns && modules.at(0, c + n) == dark) ++n;
    const int dots = field.wide > 0 ? (n == 1 ? field.module : field.wide) : n * field.module;
    runs.emplace_back(dots, dark);
    total_width += dots;
    c += n;
  }
  return runs;
}

void DrawLinear(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                const BarcodeField& field) {
  int total_width = 0;
  const std::vector<std::pair<int, bool>> runs = BarRuns(field, total_width);
  const int module = field.module, height = field.bar_height;
  const FontChoice line_font = InterpretationFont(module);
  const int line_gap = (5 * module + 1) / 2;
  const bool line = (field.line_below || field.line_above) && !field.modules.readable.empty();
  // The field's box ends with the line's capitals: above the bars, their
  // tops are the field's top; turned, their edge is the box's.
  const LabelText::Layout* layout =
      line ? &text.layOut(field.modules.readable, line_font, nullptr, LabelText::Style::kLight)
           : nullptr;
  const int text_height = line ? static_cast<int>(std::ceil(layout->baseline - 0.5)) + line_gap : 0;
  const int bars_top = line && field.line_above ? text_height : 0;
  at.anchor_v = bars_top + height;
  const cairo_matrix_t matrix = LabelCanvas::fieldMatrix(at, total_width, height + text_height);
  canvas.fill(matrix, ink, [&](cairo_t* cr) {
    int x = 0;
    for (auto [dots, dark] : runs) {
      if (dark) cairo_rectangle(cr, x, bars_top, dots, height);
      x += dots;
    }
  });
  if (!line) return;
  cairo_matrix_t line_matrix = matrix;
  cairo_matrix_translate(&line_matrix, (total_width - layout->width) / 2,
                         field.line_above ? 0 : height + line_gap);
  canvas.fillGrown(line_matrix, ink, layout->grow,
                   [&](const cairo_matrix_t& to_picture, GrownFill& shape, cairo_t* cr) {
                     text.outline(to_picture, shape, cr);
                   });
}

// Rows of square-ish modules, each row's dark runs as one rectangle.
void DrawRows(LabelCanvas& canvas, Placement at, Ink ink, const BarcodeField& field) {
  const BarcodeModules& modules = field.modules;
  const int module = field.module, row_height = field.row_height;
  at.anchor_v = modules.rows * row_height;
  const cairo_matrix_t matrix =
      LabelCanvas::fieldMatrix(at, modules.columns * module, modules.rows * row_height);
  canvas.fill(matrix, ink, [&](cairo_t* cr) {
    for (int r = 0; r < modules.rows; ++r) {
      for (int c = 0; c < modules.columns;) {
        if (!modules.at(r, c)) {
          ++c;
          continue;
        }
        int n = 1;
        while (c + n < modules.columns && modules.at(r, c + n)) ++n;
        cairo_rectangle(cr, c * module, r * row_height, n * module, row_height);
        c += n;
      }
    }
  });
}

// A hexagon centred on (cx, cy), `hw` wide each side and `hh` tall each way.
void HexagonPath(cairo_t* cr, double cx, double cy, double hw, double hh) {
  cairo_move_to(cr, cx - hw, cy - hh * 0.5);
  cairo_line_to(cr, cx, cy - hh);
  cairo_line_to(cr, cx + hw, cy - hh * 0.5);
  cairo_line_to(cr, cx + hw, cy + hh * 0.5);
  cairo_line_to(cr, cx, cy + hh);
  cairo_line_to(cr, cx - hw, cy + hh * 0.5);
  cairo_close_path(cr);
}

// MaxiCode: 33 rows of offset modules around the finder rings, about an
// inch across at any resolution.
void DrawMaxiCode(LabelCanvas& canvas, Placement at, Ink ink, const BarcodeModules& modules,
                  int dots_per_mm) {
  const double pitch_x = 28.14 / 30 * dots_per_mm;
  const double pitch_y = 26.91 / 33 * dots_per_mm;
  const double w = 30 * pitch_x, h = 33 * pitch_y;
  at.anchor_v = h;
  canvas.fill(LabelCanvas::fieldMatrix(at, w, h), ink, [&](cairo_t* cr) {
    for (int r = 0; r < modules.rows; ++r) {
      for (int c = 0; c < modules.columns; ++c) {
        if (!modules.at(r, c)) continue;
        HexagonPath(cr, (c + 0.5 + (r % 2) * 0.5) * pitch_x, (r + 0.5) * pitch_y, pitch_x * 0.45,
                    pitch_y * 0.5);
      }
    }
    // Three dark rings, the innermost a disc's edge, around the centre.
    for (double outer : {3.87, 2.74, 1.61}) {
      const double inner = outer - 0.565;
      cairo_new_sub_path(cr);
      cairo_arc(cr, w / 2, h / 2, outer * dots_per_mm, 0, 2 * M_PI);
      cairo_new_sub_path(cr);
      cairo_arc(cr, w / 2, h / 2, inner * dots_per_mm, 0, 2 * M_PI);
    }
  });
}

}  // namespace

void DrawBarcode(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                 const BarcodeField& field, int dots_per_mm) {
  if (!field.orientable) at.orientation = Orientation::kNormal;
  switch (field.shape) {
    case BarcodeField::Shape::kLinear:
      DrawLinear(canvas, text, at, ink, field);
      break;
    case BarcodeField::Shape::kRows:
      DrawRows(canvas, at, ink, field);
      break;
    case BarcodeField::Shape::kMaxiCode:
      DrawMaxiCode(canvas, at, ink, field.modules, dots_per_mm);
      break;
  }
}

}  // namespace corvella::zpl
