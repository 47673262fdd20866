#pragma once

#include <cairo.h>

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
  struct Edge {
    double a0, b0, a1, b1;  // a: the growth axis, b: across it
  };
  struct Crossing {
    int line;
    double a;
    int winding;
    bool operator<(const Crossing& o) const { return line != o.line ? line < o.line : a < o.a; }
  };
  // Kept between fills, so that a label's texts share their memory.
  std::vector<Edge> edges_;
  std::vector<Crossing> crossings_;
  std::vector<std::pair<double, double>> spans_;
};

}  // namespace corvella::zpl
