#include "tools/field_overrun.h"

#include <glib.h>

#include <algorithm>
#include <cctype>

namespace corvella::zpl {

namespace {

bool CommandAt(std::string_view text, size_t at, std::string_view name) {
  if (at + 1 + name.size() > text.size() || (text[at] != '^' && text[at] != '~')) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (g_ascii_toupper(text[at + 1 + i]) != name[i]) return false;
  }
  return true;
}

// `document` with every ^PW and ^LL set to `width` and `length`, and each
// label (^XA) starting with them.
std::string Widened(std::string_view document, int width, int length) {
  const std::string size = "^PW" + std::to_string(width) + "^LL" + std::to_string(length);
  std::string out;
  out.reserve(document.size() + 64);
  for (size_t i = 0; i < document.size();) {
    if (CommandAt(document, i, "PW") || CommandAt(document, i, "LL")) {
      const bool pw = g_ascii_toupper(document[i + 1]) == 'P';
      out += pw ? "^PW" + std::to_string(width) : "^LL" + std::to_string(length);
      i += 3;
      while (i < document.size() && g_ascii_isdigit(document[i])) ++i;
      continue;
    }
    if (CommandAt(document, i, "XA")) {
      out += document.substr(i, 3);
      out += size;
      i += 3;
      continue;
    }
    out += document[i++];
  }
  return out;
}

bool TurnsLabels(std::string_view document) {
  for (size_t i = 0; i + 3 < document.size(); ++i) {
    if (CommandAt(document, i, "PO") && g_ascii_toupper(document[i + 3]) == 'I') return true;
  }
  return false;
}

RenderOptions WithoutMedia(RenderOptions options) {
  options.media.reset();
  return options;
}

}  // namespace

FieldOverrunCheck::FieldOverrunCheck(const RenderOptions& options, std::string_view document)
    : wide_renderer_(WithoutMedia(options)) {
  if (TurnsLabels(document)) return;
  // Sized first, so that every label is widened alike to twice the largest.
  LabelRenderer plain_renderer(WithoutMedia(options));
  DocumentDrawing plain(plain_renderer, document, DocumentDrawing::Mode::kMeasure);
  int width = 0, length = 0;
  while (std::optional<RenderedLabel> label = plain.next()) {
    sizes_.push_back({label->report.width_dots, label->report.height_dots});
    width = std::max(width, label->report.width_dots);
    length = std::max(length, label->report.height_dots);
  }
  const int cap = wide_renderer_.options().max_side_dots;
  widened_ = Widened(document, std::min(2 * width, cap), std::min(2 * length, cap));
  LabelRenderer counting_renderer(WithoutMedia(options));
  DocumentDrawing counting(counting_renderer, widened_, DocumentDrawing::Mode::kMeasure);
  size_t count = 0;
  while (counting.next()) ++count;
  if (count != sizes_.size()) {
    sizes_.clear();
    return;
  }
  wide_.emplace(wide_renderer_, widened_);
}

std::vector<std::string> FieldOverrunCheck::next() {
  std::vector<std::string> told;
  if (!wide_ || index_ >= sizes_.size()) return told;
  const Size small = sizes_[index_++];
  const std::optional<RenderedLabel> wide = wide_->next();
  if (!wide) return told;
  const LabelCanvas& large = wide->picture;
  int right = -1, bottom = -1;  // the farthest ink beyond each edge
  for (int y = 0; y < large.height(); ++y) {
    for (int x = 0; x < large.width(); ++x) {
      if (x < small.width && y < small.height) {
        x = small.width - 1;  // inside the label: nothing to look at
        continue;
      }
      if (!large.black(x, y)) continue;
      if (x >= small.width) right = std::max(right, x);
      if (y >= small.height) bottom = std::max(bottom, y);
    }
  }
  if (right >= 0) {
    told.push_back("a field runs past the right edge (x " + std::to_string(small.width) +
                   "): ink reaches x " + std::to_string(right));
  }
  if (bottom >= 0) {
    told.push_back("a field runs past the bottom edge (y " + std::to_string(small.height) +
                   "): ink reaches y " + std::to_string(bottom));
  }
  return told;
}

}  // namespace corvella::zpl
