#include "tools/zpl/label_edges.h"

#include <functional>

namespace corvella::zpl {

namespace {

// The runs of black dots along one edge, as "a-b" texts, at most three and
// then "...".
std::string InkedRuns(int length, const std::function<bool(int)>& black) {
  std::string runs;
  int count = 0;
  for (int i = 0; i < length; ++i) {
    if (!black(i)) continue;
    int end = i;
    while (end + 1 < length && black(end + 1)) ++end;
    if (++count > 3) return runs + ", ...";
    if (!runs.empty()) runs += ", ";
    runs += end == i ? std::to_string(i) : std::to_string(i) + "-" + std::to_string(end);
    i = end;
  }
  return runs;
}

}  // namespace

std::vector<std::string> EdgeInkWarnings(const LabelCanvas& picture) {
  const int w = picture.width(), h = picture.height();
  std::vector<std::string> warnings;
  if (w <= 0 || h <= 0) return warnings;
  const struct {
    const char* edge;
    const char* axis;
    int length;
    std::function<bool(int)> black;
  } edges[] = {
      {"left", "y", h, [&](int y) { return picture.black(0, y); }},
      {"right", "y", h, [&](int y) { return picture.black(w - 1, y); }},
      {"top", "x", w, [&](int x) { return picture.black(x, 0); }},
      {"bottom", "x", w, [&](int x) { return picture.black(x, h - 1); }},
  };
  for (const auto& edge : edges) {
    const std::string runs = InkedRuns(edge.length, edge.black);
    if (runs.empty()) continue;
    warnings.push_back(std::string("ink reaches the ") + edge.edge + " edge at " + edge.axis + " " +
                       runs + ": a field may run past the label");
  }
  return warnings;
}

}  // namespace corvella::zpl
