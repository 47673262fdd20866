#pragma once

#include <cairo.h>

#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

// The graphic shapes (^GB, ^GC, ^GE, ^GD), each in a box of `width` x
// `height` dots at the field's placement (^FT: by the box's bottom left
// corner), drawn with lines `thickness` dots wide inside the box.

// A box, its corners rounded with `radius` dots.
void DrawBox(LabelCanvas& canvas, Placement at, Ink ink, int width, int height, int thickness,
             double radius);
// An ellipse (a circle when width and height agree).
void DrawEllipse(LabelCanvas& canvas, Placement at, Ink ink, int width, int height, int thickness);
// A diagonal line from corner to corner: '/' when right-leaning, else '\'.
void DrawDiagonal(LabelCanvas& canvas, Placement at, Ink ink, int width, int height, int thickness,
                  bool right_leaning);

// Adds an ellipse centred on (cx, cy) to the path as a sub-path of its own;
// nothing when a radius is not positive.
void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry);

}  // namespace corvella::zpl
