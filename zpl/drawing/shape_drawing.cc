#include "zpl/drawing/shape_drawing.h"

#include <algorithm>
#include <cmath>

namespace corvella::zpl {
namespace {

// A rectangle as a sub-path, its corners rounded with radius r.
void RectanglePath(cairo_t* cr, double x, double y, double w, double h, double r) {
  if (w <= 0 || h <= 0) return;
  r = std::min({r, w / 2, h / 2});
  if (r <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// The matrix of an upright shape's box: ^FT places it by its bottom left.
cairo_matrix_t ShapeMatrix(Placement at, double width, double height) {
  at.orientation = Orientation::kNormal;
  at.anchor_v = height;
  return LabelCanvas::fieldMatrix(at, width, height);
}

}  // namespace

void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
  if (rx <= 0 || ry <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}

void DrawBox(LabelCanvas& canvas, Placement at, Ink ink, int width, int height, int thickness,
             double radius) {
  const int t = thickness;
  canvas.fill(ShapeMatrix(at, width, height), ink, [&](cairo_t* cr) {
    RectanglePath(cr, 0, 0, width, height, radius);
    // The inside, left out of the fill (even-odd) when the lines leave one.
    if (2 * t < width && 2 * t < height) {
      RectanglePath(cr, t, t, width - 2 * t, height - 2 * t, std::max(0.0, radius - t));
    }
  });
}

void DrawEllipse(LabelCanvas& canvas, Placement at, Ink ink, int width, int height, int thickness) {
  const double rx = width / 2.0, ry = height / 2.0;
  canvas.fill(ShapeMatrix(at, width, height), ink, [&](cairo_t* cr) {
    EllipsePath(cr, rx, ry, rx, ry);
    EllipsePath(cr, rx, ry, rx - thickness, ry - thickness);
  });
}

void DrawDiagonal(LabelCanvas& canvas, Placement at, Ink ink, int width, int height, int thickness,
                  bool right_leaning) {
  const double from_y = right_leaning ? height : 0, to_y = right_leaning ? 0 : height;
  canvas.fill(ShapeMatrix(at, width, height), ink, [&](cairo_t* cr) {
    cairo_move_to(cr, 0, from_y);
    cairo_line_to(cr, thickness, from_y);
    cairo_line_to(cr, width, to_y);
    cairo_line_to(cr, width - thickness, to_y);
    cairo_close_path(cr);
  });
}

}  // namespace corvella::zpl
