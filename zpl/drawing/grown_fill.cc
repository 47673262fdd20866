#include "zpl/drawing/grown_fill.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvella::zpl {

void GrownFill::begin(bool along_x, int width, int height) {
  along_x_ = along_x;
  lines_ = along_x ? height : width;
  edges_.clear();
  first_line_ = lines_, end_line_ = 0;
  open_ = false;
}

void GrownFill::addEdge(double a0, double b0, double a1, double b1) {
  // The lines it crosses: those whose centres lie in [its top, its bottom).
  if (b0 == b1) return;
  const int from = std::max(0, static_cast<int>(std::ceil(std::min(b0, b1) - 0.5)));
  const int to = std::min(lines_, static_cast<int>(std::ceil(std::max(b0, b1) - 0.5)));
  if (from >= to) return;
  edges_.push_back({a0, b0, (a1 - a0) / (b1 - b0), from, to, b1 > b0 ? 1 : -1});
  first_line_ = std::min(first_line_, from), end_line_ = std::max(end_line_, to);
}

void GrownFill::moveTo(double x, double y) {
  closePath();
  first_a_ = last_a_ = along_x_ ? x : y;
  first_b_ = last_b_ = along_x_ ? y : x;
  open_ = true;
}

void GrownFill::lineTo(double x, double y) {
  const double a = along_x_ ? x : y, b = along_x_ ? y : x;
  if (!open_) first_a_ = last_a_, first_b_ = last_b_, open_ = true;
  addEdge(last_a_, last_b_, a, b);
  last_a_ = a, last_b_ = b;
}

void GrownFill::closePath() {
  if (open_) addEdge(last_a_, last_b_, first_a_, first_b_);
  last_a_ = first_a_, last_b_ = first_b_;
  open_ = false;
}

void GrownFill::addPath(const cairo_path_t* path) {
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t& header = path->data[i];
    if (header.header.type == CAIRO_PATH_CLOSE_PATH) {
      closePath();
    } else if (header.header.type == CAIRO_PATH_MOVE_TO) {
      moveTo(path->data[i + 1].point.x, path->data[i + 1].point.y);
    } else if (header.header.type == CAIRO_PATH_LINE_TO) {
      lineTo(path->data[i + 1].point.x, path->data[i + 1].point.y);
    }
  }
}

void GrownFill::fill(double grow, SpanInk ink, unsigned char* data, int stride, int width,
                     int height, int clip_left, int clip_right) {
  closePath();
  const int span_limit = along_x_ ? width : height;
  const bool along_x = along_x_;
  const int first_line = first_line_, end_line = end_line_;
  if (first_line >= end_line) return;

  // The crossings, counted per line, then set down line by line.
  line_starts_.assign(static_cast<size_t>(end_line - first_line) + 1, 0);
  for (const Edge& e : edges_) {
    for (int line = e.from; line < e.to; ++line) {
      ++line_starts_[static_cast<size_t>(line - first_line) + 1];
    }
  }
  for (size_t i = 1; i < line_starts_.size(); ++i) line_starts_[i] += line_starts_[i - 1];
  crossings_.resize(line_starts_.back());
  next_slot_.assign(line_starts_.begin(), line_starts_.end() - 1);
  for (const Edge& e : edges_) {
    for (int line = e.from; line < e.to; ++line) {
      crossings_[next_slot_[static_cast<size_t>(line - first_line)]++] = {
          e.a0 + (line + 0.5 - e.b0) * e.slope, e.winding};
    }
  }

  const unsigned char value = ink == SpanInk::kClear ? 0 : 255;
  for (int line = first_line; line < end_line; ++line) {
    const auto begin =
        crossings_.begin() +
        static_cast<std::ptrdiff_t>(line_starts_[static_cast<size_t>(line - first_line)]);
    const auto end =
        crossings_.begin() +
        static_cast<std::ptrdiff_t>(line_starts_[static_cast<size_t>(line - first_line) + 1]);
    std::sort(begin, end);
    // The line's inside, by non-zero winding, each span grown and merged.
    spans_.clear();
    int winding = 0;
    double start = 0;
    for (auto i = begin; i != end; ++i) {
      const int before = winding;
      winding += i->winding;
      if (before == 0 && winding != 0) start = i->a;
      if (before != 0 && winding == 0) {
        const double from = start - grow, to = i->a + grow;
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
      if (first >= last) continue;
      // Along a row the dots are adjacent, along a column a stride apart.
      const size_t step = along_x ? 1 : static_cast<size_t>(stride);
      unsigned char* dot = along_x
                               ? data + static_cast<size_t>(line) * static_cast<size_t>(stride) +
                                     static_cast<size_t>(first)
                               : data + static_cast<size_t>(first) * static_cast<size_t>(stride) +
                                     static_cast<size_t>(line);
      const size_t count = static_cast<size_t>(last - first);
      if (along_x && ink != SpanInk::kFlip) {
        std::memset(dot, value, count);
        continue;
      }
      for (size_t k = 0; k < count; ++k, dot += step) {
        *dot = ink == SpanInk::kFlip ? static_cast<unsigned char>(*dot ^ 255) : value;
      }
    }
  }
}

}  // namespace corvella::zpl
