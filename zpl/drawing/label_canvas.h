#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>

#include "zpl/document/graphic_field.h"
#include "zpl/drawing/grown_fill.h"

namespace corvella::zpl {

// The four field orientations: normal, rotated 90 degrees clockwise,
// inverted (180 degrees) and read from bottom up (270 degrees).
enum class Orientation { kNormal, kRotated, kInverted, kBottomUp };

// How a field's dots land on the label.
enum class Ink {
  kBlack,    // dots become black
  kWhite,    // dots become white
  kReverse,  // dots flip: black on white, white on black (^FR, ^LR)
};

// Cairo objects owned the one way this renderer owns them: freed with
// their destroy function when the owner goes.
struct CairoDestroy {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
  void operator()(cairo_path_t* path) const { cairo_path_destroy(path); }
};
template <typename T>
using CairoPtr = std::unique_ptr<T, CairoDestroy>;

// Where a field goes: a field is drawn in its own upright coordinates (u to
// the right, v down, its box `width` x `height`), then turned to its
// orientation. With `typeset` false, the turned box's top left corner lands
// at (x, y); with it true, the field's point (anchor_u, anchor_v) does. A
// right-justified field ends at that point instead of starting there: it is
// moved back by its width along its own direction.
struct Placement {
  Orientation orientation = Orientation::kNormal;
  double x = 0;
  double y = 0;
  bool typeset = false;
  bool right_justified = false;
  double anchor_u = 0;
  double anchor_v = 0;
};

// A point on the label, in dots.
struct Point {
  double x = 0;
  double y = 0;
};

// A label of width x height dots, one byte of ink per dot (a cairo A8
// surface drawn without antialiasing, so every dot is either black or white
// and reversed fields flip dots exactly).
class LabelCanvas {
 public:
  LabelCanvas(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // Where the printed width lies on the label: fields are placed from
  // `left` on, and no ink falls outside [left, left + width).
  void setPrintArea(int left, int width);

  // The matrix that takes a field's upright coordinates to the label.
  static cairo_matrix_t fieldMatrix(const Placement& placement, double width, double height);
  // Where the field's point (u, v) lands on the label.
  static Point fieldPoint(const Placement& placement, double width, double height, double u,
                          double v);

  // Runs `draw` with the field's matrix set and the ink's operator, then
  // fills what it left as the current path (even-odd, so an outline is the
  // ring between two shapes).
  void fill(const cairo_matrix_t& matrix, Ink ink, const std::function<void(cairo_t*)>& path);
  // Fills a shape grown by `grow` dots to either side along the field's
  // own horizontal (GrownFill): letters heavier in their stems, no taller.
  // `outline` gives the shape: polygons added to the GrownFill in picture
  // dots (`to_picture` takes the field's coordinates there), or a path left
  // on cairo in the field's coordinates.
  void fillGrown(const cairo_matrix_t& matrix, Ink ink, double grow,
                 const std::function<void(const cairo_matrix_t& to_picture, GrownFill& shape,
                                          cairo_t* cr)>& outline);
  // Draws `draw`'s own output (text) with the field's matrix and ink.
  void draw(const cairo_matrix_t& matrix, Ink ink, const std::function<void(cairo_t*)>& draw);
  // Draws a bitmap with its top left dot at the field's (0, 0), each bitmap
  // dot `scale_x` x `scale_y` dots.
  void drawBitmap(const cairo_matrix_t& matrix, Ink ink, const Bitmap& bitmap, int scale_x,
                  int scale_y);

  // Puts another label's picture under this one (^MCN: the label before is
  // not cleared), top left on top left.
  void drawCanvas(const LabelCanvas& background);

  // Turns the whole label by 180 degrees (^POI).
  void invert();

  // True when the dot at (x, y), inside the label, is black.
  bool black(int x, int y) const;

  // Writes a one-bit greyscale PNG, ink black, that records its resolution
  // (pHYs) when `dots_per_mm` is above 0. Returns false with the reason.
  bool writePng(const std::string& path, std::string& reason, int dots_per_mm = 0) const;

 private:
  // Sets the field's matrix, after the print area's origin, and the ink.
  void begin(const cairo_matrix_t& matrix, Ink ink);

  int width_ = 0;
  int height_ = 0;
  int print_left_ = 0;
  int print_width_ = 0;
  CairoPtr<cairo_surface_t> surface_;
  CairoPtr<cairo_t> cr_;
  GrownFill grown_;
};

}  // namespace corvella::zpl
