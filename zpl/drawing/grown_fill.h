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
  // `path` is flat (cairo_copy_path_flat), in picture dots. With
  // `along_x` the growth is along picture rows, else along columns.
  void fill(const cairo_path_t* path, bool along_x, double grow, SpanInk ink, unsigned char* data,
            int stride, int width, int height, int clip_left, int clip_right);

 private:
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
};

}  // namespace corvella::zpl
