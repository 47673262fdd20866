#include "zpl/drawing/grown_fill.h"

#include <algorithm>
#include <cmath>

namespace corvella::zpl {

void GrownFill::fill(const cairo_path_t* path, bool along_x, double grow, SpanInk ink,
                     unsigned char* data, int stride, int width, int height, int clip_left,
                     int clip_right) {
  // Lines run across the growth axis: picture rows when growing along x.
  const int lines = along_x ? height : width;
  const int span_limit = along_x ? width : height;
  edges_.clear();
  double first_a = 0, first_b = 0, last_a = 0, last_b = 0;
  bool open = false;
  const auto close = [&] {
    if (open && (last_a != first_a || last_b != first_b)) {
      edges_.push_back({last_a, last_b, first_a, first_b});
    }
    open = false;
  };
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t& header = path->data[i];
    if (header.header.type == CAIRO_PATH_CLOSE_PATH) {
      close();
      last_a = first_a, last_b = first_b;
      continue;
    }
    const cairo_path_data_t& point = path->data[i + 1];
    const double a = along_x ? point.point.x : point.point.y;
    const double b = along_x ? point.point.y : point.point.x;
    if (header.header.type == CAIRO_PATH_MOVE_TO) {
      close();
      first_a = last_a = a, first_b = last_b = b;
      open = true;
    } else if (header.header.type == CAIRO_PATH_LINE_TO) {
      if (!open) first_a = last_a, first_b = last_b, open = true;
      edges_.push_back({last_a, last_b, a, b});
      last_a = a, last_b = b;
    }
  }
  close();

  // Each edge crosses the lines whose centres lie in [its top, its bottom).
  crossings_.clear();
  for (const Edge& e : edges_) {
    if (e.b0 == e.b1) continue;
    const bool down = e.b1 > e.b0;
    const double top = down ? e.b0 : e.b1, bottom = down ? e.b1 : e.b0;
    const int from = std::max(0, static_cast<int>(std::ceil(top - 0.5)));
    const int to = std::min(lines, static_cast<int>(std::ceil(bottom - 0.5)));
    const double slope = (e.a1 - e.a0) / (e.b1 - e.b0);
    for (int line = from; line < to; ++line) {
      const double centre = line + 0.5;
      crossings_.push_back({line, e.a0 + (centre - e.b0) * slope, down ? 1 : -1});
    }
  }
  std::sort(crossings_.begin(), crossings_.end());

  const unsigned char value = ink == SpanInk::kClear ? 0 : 255;
  for (size_t i = 0; i < crossings_.size();) {
    const int line = crossings_[i].line;
    // The line's inside, by non-zero winding, each span grown and merged.
    spans_.clear();
    int winding = 0;
    double start = 0;
    for (; i < crossings_.size() && crossings_[i].line == line; ++i) {
      const int before = winding;
      winding += crossings_[i].winding;
      if (before == 0 && winding != 0) start = crossings_[i].a;
      if (before != 0 && winding == 0) {
        const double from = start - grow, to = crossings_[i].a + grow;
        if (!spans_.empty() && from <= spans_.back().second) {
          spans_.back().second = std::max(spans_.back().second, to);
        } else {
          spans_.emplace_back(from, to);
        }
      }
    }
    if (!along_x && (line < clip_left || line >= clip_right)) continue;
    const int lo = along_x ? std::max(0, clip_left) : 0;
    const int hi = along_x ? std::min(span_limit, clip_right) : span_limit;
    for (const auto& [from, to] : spans_) {
      // The dots whose centres lie in [from, to).
      const int first = std::max(lo, static_cast<int>(std::ceil(from - 0.5)));
      const int last = std::min(hi, static_cast<int>(std::ceil(to - 0.5)));
      for (int at = first; at < last; ++at) {
        const size_t row = static_cast<size_t>(along_x ? line : at);
        const size_t column = static_cast<size_t>(along_x ? at : line);
        unsigned char& dot = data[row * static_cast<size_t>(stride) + column];
        dot = ink == SpanInk::kFlip ? static_cast<unsigned char>(dot ^ 255) : value;
      }
    }
  }
}

}  // namespace corvella::zpl
