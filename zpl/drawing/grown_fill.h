#pragma once

#include <cairo.h>

#include <cstddef>
#include <vector>

namespace corvella::zpl {

// How a grown fill changes the dots it covers.
enum class SpanInk { kSet, kClear, kFlip };

// Fills a path grown by `grow` dots to either side along one axis of the
// picture: a dot is inked when its centre lies within `grow` of the path's
// inside (non-zero winding), measured along that axis only. This is a
// glyph made heavier in its stems and no taller. Overlapping parts of the
// path and of the growth are one shape, so a flipping ink flips each dot
// once.
class GrownFill {
 public:
  // Starts a shape on a picture of width x height dots. With `along_x` the
  // growth is along picture rows, else along columns.
  void begin(bool along_x, int width, int height);
  // The shape's outline, in picture dots: closed polygons.
  void moveTo(double x, double y);
  void lineTo(double x, double y);
  void closePath();
  // Adds a flat path (cairo_copy_path_flat), in picture dots.
  void addPath(const cairo_path_t* path);
  // Fills the shape into `data` (one byte a dot, `stride` bytes a row),
  // within columns [clip_left, clip_right).
  void fill(double grow, SpanInk ink, unsigned char* data, int stride, int width, int height,
            int clip_left, int clip_right);

 private:
  void addEdge(double a0, double b0, double a1, double b1);

  // An edge from (a0, b0), a along the growth axis and b across it,
  // crossing the centres of lines [from, to).
  struct Edge {
    double a0;
    double b0;
    double slope;  // da / db
    int from;
    int to;
    int winding;
  };
  struct Crossing {
    double a;
    int winding;
    bool operator<(const Crossing& o) const { return a != o.a ? a < o.a : winding < o.winding; }
  };
  // Kept between fills, so that a label's texts share their memory.
  std::vector<Edge> edges_;
  std::vector<Crossing> crossings_;  // line by line
  std::vector<size_t> line_starts_;  // where each line's crossings start
  std::vector<size_t> next_slot_;    // where each line's next crossing goes
  std::vector<std::pair<double, double>> spans_;
  bool along_x_ = true;
  int lines_ = 0;  // across the growth axis
  int first_line_ = 0, end_line_ = 0;
  bool open_ = false;  // a polygon is under way from (first_a_, first_b_)
  double first_a_ = 0, first_b_ = 0, last_a_ = 0, last_b_ = 0;
};

}  // namespace corvella::zpl
