#include "tools/zpl/label_text.h"

#include <algorithm>
#include <cmath>

#include "tools/zpl/label_canvas.h"

namespace corvella::zpl {
namespace {

struct BitmapCell {
  char name;
  int height;
  int width;
};

// Base cells (height x width, in dots) of the printer's bitmap fonts.
constexpr BitmapCell kBitmapCells[] = {
    {'A', 9, 5},   {'B', 11, 7},  {'C', 18, 10}, {'D', 18, 10}, {'E', 28, 15},
    {'F', 26, 13}, {'G', 60, 40}, {'H', 21, 13}, {'P', 20, 18}, {'Q', 28, 24},
    {'R', 35, 31}, {'S', 40, 35}, {'T', 48, 42}, {'U', 59, 53}, {'V', 80, 71},
};

// Largest cell drawn; bigger requests are drawn at this size.
constexpr int kMaxCell = 1500;

// Font sizes kept measured at once.
constexpr size_t kMaxFaces = 256;

// The scalable font is a printer's Helvetica-style bold condensed face;
// these are metric-near clones of it, the first found drawn.
constexpr const char* kScalableFamilies[] = {"TeX Gyre Heros Cn", "Nimbus Sans Narrow"};
constexpr const char* kScalableFallback = "DejaVu Sans";

// The printer's scalable font in a cell h dots high and w wide, as the
// printer's pictures show it: capitals are kCapHeight * h tall; glyphs are
// heavier than the face by kWeight * h dots of outline and as wide as the
// face's capitals at an average advance of kWidth * w, and each letter
// advances kTracking * w dots more.
constexpr double kCapHeight = 0.77;
constexpr double kWeight = 0.06;
constexpr double kWidth = 0.5;
constexpr double kTracking = 0.05;

// Whether fontconfig has a face of `family` (not a substitute).
bool HasFamily(PangoFontMap* font_map, const char* family) {
  PangoFontFamily** families = nullptr;
  int count = 0;
  pango_font_map_list_families(font_map, &families, &count);
  bool found = false;
  for (int i = 0; i < count && !found; ++i) {
    found = g_ascii_strcasecmp(pango_font_family_get_name(families[i]), family) == 0;
  }
  g_free(families);
  return found;
}

int Magnification(int asked, int base) {
  if (asked <= 0) return 0;
  return std::clamp(static_cast<int>(std::lround(static_cast<double>(asked) / base)), 1, 10);
}

}  // namespace

FontChoice ResolveFont(char name, int height, int width) {
  for (const BitmapCell& cell : kBitmapCells) {
    if (cell.name != name) continue;
    int mag_h = Magnification(height, cell.height);
    int mag_w = Magnification(width, cell.width);
    if (mag_h == 0) mag_h = mag_w == 0 ? 1 : mag_w;
    if (mag_w == 0) mag_w = mag_h;
    return {name, cell.height * mag_h, cell.width * mag_w};
  }
  // The scalable font (and any font this renderer has no cell for).
  int h = height > 0 ? height : (width > 0 ? width : 15);
  int w = width > 0 ? width : h;
  return {'0', std::clamp(h, 10, kMaxCell), std::clamp(w, 10, kMaxCell)};
}

LabelText::LabelText() {
  font_map_ = pango_cairo_font_map_new();
  context_ = pango_font_map_create_context(font_map_);
  const CairoPtr<cairo_font_options_t> options(cairo_font_options_create());
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
  pango_cairo_context_set_font_options(context_, options.get());
  layout_ = pango_layout_new(context_);
  scalable_family_ = kScalableFallback;
  for (const char* family : kScalableFamilies) {
    if (HasFamily(font_map_, family)) {
      scalable_family_ = family;
      break;
    }
  }
  if (scalable_family_ == kScalableFallback) {
    g_warning(
        "font 0 is drawn with %s: no printer-like face installed (%s or %s; "
        "scripts/install-deps installs them)",
        kScalableFallback, kScalableFamilies[0], kScalableFamilies[1]);
  }
}

LabelText::~LabelText() {
  for (auto& [key, face] : faces_) pango_font_description_free(face.description);
  g_object_unref(layout_);
  g_object_unref(context_);
  g_object_unref(font_map_);
}

const LabelText::Face& LabelText::face(const FontChoice& font) {
  auto key = std::make_tuple(font.name, font.height, font.width);
  if (auto found = faces_.find(key); found != faces_.end()) return found->second;
  // A long-running printer sees any number of sizes; keep the cache bounded.
  if (faces_.size() >= kMaxFaces) {
    for (auto& [unused, old] : faces_) pango_font_description_free(old.description);
    faces_.clear();
  }
  Face face;
  const bool scalable = font.name == '0';
  const std::string family = scalable ? scalable_family_ + " Bold" : "DejaVu Sans Mono Bold";
  face.description = pango_font_description_from_string(family.c_str());
  pango_layout_set_width(layout_, -1);
  pango_layout_set_attributes(layout_, nullptr);
  pango_layout_set_text(layout_, "H", 1);
  PangoRectangle ink;
  if (scalable) {
    // Measured once at a large size: the face's cap height and the advance
    // of a line of capitals, per dot of size.
    constexpr double kProbe = 200;
    pango_font_description_set_absolute_size(face.description, kProbe * PANGO_SCALE);
    pango_layout_set_font_description(layout_, face.description);
    pango_layout_get_extents(layout_, &ink, nullptr);
    const double cap = ink.height / static_cast<double>(PANGO_SCALE) / kProbe;
    face.weight = kWeight * std::min(font.height, font.width);
    const double size = (kCapHeight * font.height - face.weight) / cap;
    pango_font_description_set_absolute_size(face.description, size * PANGO_SCALE);
    pango_layout_set_font_description(layout_, face.description);
    PangoRectangle logical;
    constexpr const char kCapitals[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    pango_layout_set_text(layout_, kCapitals, 26);
    pango_layout_get_extents(layout_, nullptr, &logical);
    const double advance = logical.width / static_cast<double>(PANGO_SCALE) / 26;
    face.scale_x = kWidth * font.width / advance;
    face.tracking = kTracking * font.width;
    pango_layout_set_text(layout_, "H", 1);
  } else {
    const double size = font.height * 0.85;
    pango_font_description_set_absolute_size(face.description, size * PANGO_SCALE);
    pango_layout_set_font_description(layout_, face.description);
    // A bitmap font's advance is its cell.
    face.scale_x = font.width / (0.602 * size);
  }
  pango_layout_get_extents(layout_, &ink, nullptr);
  const double baseline =
      (pango_layout_get_baseline(layout_) - ink.y) / static_cast<double>(PANGO_SCALE);
  // The added outline reaches half its width past the face's own ink: the
  // glyphs are raised by that much, so capitals stand on the baseline.
  face.cap_top = std::max(1.0, baseline + face.weight);
  return faces_.emplace(key, face).first->second;
}

const LabelText::Layout& LabelText::layOut(const std::string& text, const FontChoice& font,
                                           const TextBlock* block) {
  const Face& f = face(font);
  last_ = Layout{};
  last_.scale_x = f.scale_x;
  last_.weight = f.weight;
  pango_layout_set_font_description(layout_, f.description);
  pango_layout_set_justify(layout_, block && block->justification == Justification::kJustified);
  if (block && block->width > 0) {
    // A narrow font in a wide block asks for more than Pango's int holds.
    const double width = std::min(block->width / f.scale_x * PANGO_SCALE, 1e9);
    pango_layout_set_width(layout_, static_cast<int>(width));
    pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
  } else {
    pango_layout_set_width(layout_, -1);
  }
  pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
  PangoAttrList* attributes = pango_attr_list_new();
  if (f.tracking > 0) {
    pango_attr_list_insert(attributes, pango_attr_letter_spacing_new(
                                           static_cast<int>(f.tracking / f.scale_x * PANGO_SCALE)));
  }
  pango_layout_set_attributes(layout_, attributes);
  pango_attr_list_unref(attributes);

  const int spacing = block ? block->spacing : 0;
  const double pitch = font.height + spacing;
  const int available = pango_layout_get_line_count(layout_);
  const int max_lines = block ? std::max(1, block->max_lines) : 1;
  last_.lines = std::min(available, max_lines);
  last_.truncated = available > max_lines;
  last_.baseline = f.cap_top;
  last_.pitch = pitch;
  last_.last_baseline = f.cap_top + (block ? max_lines - 1 : 0) * pitch;
  double widest = 0;
  for (int i = 0; i < last_.lines; ++i) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout_, i);
    PangoRectangle ink;
    pango_layout_line_get_pixel_extents(line, &ink, nullptr);
    const double start = ink.x * f.scale_x;
    const double width = ink.width * f.scale_x;
    double x = -start;
    if (block && block->width > 0) {
      switch (block->justification) {
        case Justification::kCenter:
          x = (block->width - width) / 2 - start;
          break;
        case Justification::kRight:
          x = block->width - width - start;
          break;
        case Justification::kLeft:
        case Justification::kJustified:
          if (i > 0) x += block->indent;
          break;
      }
    }
    last_.line_x.push_back(x);
    widest = std::max(widest, x + start + width);
  }
  last_.width = block && block->width > 0 ? block->width : widest;
  last_.height = (block ? max_lines : 1) * pitch - spacing;
  return last_;
}

void LabelText::draw(cairo_t* cr) const {
  for (size_t i = 0; i < last_.line_x.size(); ++i) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout_, static_cast<int>(i));
    cairo_save(cr);
    cairo_translate(cr, last_.line_x[i],
                    last_.baseline - last_.weight / 2 + static_cast<double>(i) * last_.pitch);
    cairo_scale(cr, last_.scale_x, 1);
    if (last_.weight <= 0) {
      cairo_move_to(cr, 0, 0);
      pango_cairo_show_layout_line(cr, line);
      cairo_restore(cr);
      continue;
    }
    // Heavier than the face: its outline filled and stroked as one shape,
    // so a reversing ink flips each dot once.
    PangoRectangle logical;
    pango_layout_line_get_pixel_extents(line, nullptr, &logical);
    const double margin = last_.weight + 2;
    cairo_rectangle(cr, logical.x - margin, logical.y - margin, logical.width + 2 * margin,
                    logical.height + 2 * margin);
    cairo_clip(cr);
    const cairo_operator_t ink = cairo_get_operator(cr);
    cairo_push_group(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_move_to(cr, 0, 0);
    pango_cairo_layout_line_path(cr, line);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill_preserve(cr);
    cairo_identity_matrix(cr);
    cairo_set_line_width(cr, last_.weight);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    cairo_pop_group_to_source(cr);
    cairo_set_operator(cr, ink);
    cairo_paint(cr);
    cairo_restore(cr);
  }
}

}  // namespace corvella::zpl
