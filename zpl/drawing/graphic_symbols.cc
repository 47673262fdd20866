#include "zpl/drawing/graphic_symbols.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "zpl/document/zpl_commands.h"
#include "zpl/drawing/shape_drawing.h"
#include "zpl/text/label_text.h"

namespace corvella::zpl {
namespace {

// One mark's drawing, in the mark's own cell `h` dots high.
class MarkDrawing {
 public:
  MarkDrawing(LabelCanvas& canvas, LabelText& text, const cairo_matrix_t& matrix, Ink ink, double h)
      : canvas_(canvas), text_(text), matrix_(matrix), ink_(ink), h_(h) {}

  void draw(char letter) {
    if (letter == 'C') {
      letters("TM", 0.43, 1.3, 0.44, 0.11);
      return;
    }
    ring(letter);
    switch (letter) {
      case 'A':
        letters("R", 0.32, 1.1, 0.35, 0.19);
        break;
      case 'B':
        letters("C", 0.32, 1.1, 0.35, 0.19);
        break;
      case 'D':
        letters("U", 0.36, 1.0, 0.57 - 0.12, 0.35 - 0.04);
        letters("L", 0.36, 1.0, 0.57 + 0.14, 0.35 + 0.08);
        break;
      case 'E':
        // Large letters, cut by a circle a little inside the ring.
        letters("SA", 0.6, 1.1, 0.57 - 0.02, 0.35, 0.315);
        break;
    }
  }

 private:
  // The ring around the letters: small for the registered and copyright
  // marks; the UL and CSA marks carry a small registered ring of their own.
  void ring(char letter) {
    const bool small = letter == 'A' || letter == 'B';
    const double cx = (small ? 0.35 : 0.57) * h_, cy = (small ? 0.19 : 0.35) * h_;
    const double r = (small ? 0.31 : 0.505) * h_;
    const double t = (small ? 0.07 : letter == 'D' ? 0.1 : 0.15) * h_;
    const double tiny_x = (letter == 'D' ? 0.4 : 1.0) * h_;
    const double tiny_y = (letter == 'D' ? 0.6 : 0.35) * h_;
    canvas_.fill(matrix_, ink_, [&](cairo_t* cr) {
      if (letter == 'E') {
        // The CSA mark's C: a ring open to the right.
        constexpr double kOpen = 0.6;
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, r, kOpen, 2 * M_PI - kOpen);
        cairo_arc_negative(cr, cx, cy, r - t, 2 * M_PI - kOpen, kOpen);
        cairo_close_path(cr);
      } else {
        EllipsePath(cr, cx, cy, r, r);
        EllipsePath(cr, cx, cy, r - t, r - t);
      }
      if (!small) {
        EllipsePath(cr, tiny_x, tiny_y, 0.07 * h_, 0.07 * h_);
        EllipsePath(cr, tiny_x, tiny_y, 0.05 * h_, 0.05 * h_);
      }
    });
  }

  // Letters of font 0 with capitals `cap` h tall, `wide` times as wide as
  // tall a cell, centred on (cx, cy) h; with `clip`, only their ink within
  // clip h of the large ring's centre.
  void letters(const char* shown, double cap, double wide, double cx, double cy, double clip = 0) {
    const double cap_dots = cap * h_;
    const int size = std::max(1, static_cast<int>(std::lround(cap_dots / 0.77)));
    const int width = std::max(1, static_cast<int>(std::lround(size * wide)));
    const LabelText::Layout& layout =
        text_.layOut(shown, ResolveFont('0', size, width), nullptr, LabelText::Style::kFace);
    canvas_.draw(matrix_, ink_, [&](cairo_t* cr) {
      if (clip > 0) {
        cairo_new_path(cr);
        cairo_arc(cr, 0.57 * h_, 0.35 * h_, clip * h_, 0, 2 * M_PI);
        cairo_clip(cr);
      }
      cairo_translate(cr, cx * h_ - layout.width / 2, cy * h_ - cap_dots / 2);
      text_.draw(cr);
    });
  }

  LabelCanvas& canvas_;
  LabelText& text_;
  const cairo_matrix_t& matrix_;
  Ink ink_;
  double h_;
};

}  // namespace

std::optional<Point> DrawGraphicSymbols(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                                        const std::string& letters, double height, double width) {
  const double h = height, sx = width / height;
  double pen = 0;
  std::vector<std::pair<double, char>> marks;
  for (char c : letters) {
    const char letter = g_ascii_toupper(c);
    if (letter == ' ') pen += 1.12 * h;
    if (letter >= 'A' && letter <= 'E') marks.emplace_back(pen, letter);
  }
  if (marks.empty()) return std::nullopt;
  at.anchor_v = 0.73 * h;
  const double box_width = (pen + 1.2 * h) * sx;
  cairo_matrix_t matrix = LabelCanvas::fieldMatrix(at, box_width, h);
  cairo_matrix_scale(&matrix, sx, 1);
  for (auto [x, letter] : marks) {
    cairo_matrix_t m = matrix;
    cairo_matrix_translate(&m, x, 0);
    MarkDrawing(canvas, text, m, ink, h).draw(letter);
  }
  return LabelCanvas::fieldPoint(at, box_width, h, (marks.back().first + 0.95 * h) * sx,
                                 at.anchor_v);
}

}  // namespace corvella::zpl
