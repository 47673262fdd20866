#include "zpl/text/label_text.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "zpl/drawing/label_canvas.h"
#include "zpl/text/glyph_placement.h"
#include "zpl/text/scalable_metrics.h"

namespace corvella::zpl {
namespace {

// Pango measures a layout in ints of 1/1024 of a dot of the face: a line
// stays within this many, half of what an int holds.
constexpr double kMaxLayoutUnits = 1 << 30;
// No character advances more than this many ems (the widest glyphs, ligature
// marks and such, are about three).
constexpr double kMaxEmsPerCharacter = 4;

// Faces larger than this many dots are laid out at this size and drawn
// magnified, so that Pango's int measures of a long text cannot overflow.
constexpr double kMaxFaceSize = 256;

// Font sizes kept measured at once.
constexpr size_t kMaxFaces = 256;

// The scalable font is a printer's Helvetica-style bold condensed face;
// these are metric-near clones of it, the first found drawn.
constexpr const char* kScalableFamilies[] = {"TeX Gyre Heros Cn", "Nimbus Sans Narrow"};
constexpr const char* kScalableFallback = "DejaVu Sans";

// The printer's scalable font in a cell h dots high and w wide, as the
// printer's pictures show it: capitals kPrinterCap * h tall, each glyph
// where the printer's metrics put it (glyph_placement.h) and grown by
// kGrow * w dots to either side along the line: its stems heavier, its
// bars not (the face is a wide one made narrow, which thins its stems
// only). A character without the printer's metrics is the
// face's glyph as wide as the face's capitals at an average advance of
// kWidth * w, advancing kTracking * w dots more.
constexpr double kPrinterCap = 0.75;
constexpr double kGrow = 0.03;
// The interpretation line of a barcode: the face's regular weight, grown by
// kLightGrow * w, as the printer's pictures of lines at 1 to 6 dots a
// module show it.
constexpr double kLightGrow = 0.01;
constexpr double kWidth = 0.5;
constexpr double kTracking = 0.05;
// The ^GS marks' letters, calibrated to the face's own glyphs: capitals
// kCapHeight * h tall, heavier by an outline kWeight * min(h, w) dots wide.
constexpr double kCapHeight = 0.77;
constexpr double kWeight = 0.06;

// The bitmap fonts are fixed-pitch faces; these monospaced faces are drawn
// in their cells, the first found. A printer's bitmap font lays capitals
// kBitmapCap of the cell tall, their tops kBitmapTop of the cell below the
// field's top, as a printer's pictures of font A show.
constexpr const char* kBitmapFamilies[] = {"DejaVu Sans Mono", "Liberation Mono", "Nimbus Mono PS"};
constexpr const char* kBitmapFallback = "Monospace";
constexpr double kBitmapCap = 13.0 / 18;
constexpr double kBitmapTop = 1.0 / 18;

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

// The first of `families` fontconfig has, else `fallback`.
std::string FirstFamily(PangoFontMap* font_map, const char* const* families, size_t count,
                        const char* fallback) {
  for (size_t i = 0; i < count; ++i) {
    if (HasFamily(font_map, families[i])) return families[i];
  }
  return fallback;
}

// The extents of `text` in the layout's font, in dots.
PangoRectangle Extents(PangoLayout* layout, const char* text, bool ink) {
  pango_layout_set_text(layout, text, -1);
  PangoRectangle ink_rect, logical;
  pango_layout_get_extents(layout, &ink_rect, &logical);
  return ink ? ink_rect : logical;
}

}  // namespace

LabelText::LabelText() {
  font_map_ = pango_cairo_font_map_new();
  context_ = pango_font_map_create_context(font_map_);
  const CairoPtr<cairo_font_options_t> options(cairo_font_options_create());
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context_, options.get());
  layout_ = pango_layout_new(context_);
  one_glyph_ = pango_glyph_string_new();
  pango_glyph_string_set_size(one_glyph_, 1);
  scalable_family_ =
      FirstFamily(font_map_, kScalableFamilies, std::size(kScalableFamilies), kScalableFallback);
  bitmap_family_ =
      FirstFamily(font_map_, kBitmapFamilies, std::size(kBitmapFamilies), kBitmapFallback);
  if (bitmap_family_ == kBitmapFallback) {
    g_warning("the bitmap fonts are drawn with fontconfig's %s: no %s (fonts-dejavu-core)",
              kBitmapFallback, kBitmapFamilies[0]);
  }
  if (scalable_family_ == kScalableFallback) {
    g_warning(
        "font 0 is drawn with %s: no printer-like face installed (%s or %s; "
        "scripts/install-deps installs them)",
        kScalableFallback, kScalableFamilies[0], kScalableFamilies[1]);
  }
}

LabelText::~LabelText() {
  if (one_glyph_) pango_glyph_string_free(one_glyph_);
  for (auto& [key, face] : faces_) pango_font_description_free(face.description);
  g_object_unref(layout_);
  g_object_unref(context_);
  g_object_unref(font_map_);
}

const LabelText::Face& LabelText::face(const FontChoice& font, Style style) {
  if (font.name != '0') style = Style::kFace;
  auto key = std::make_tuple(font.name, font.height, font.width, style);
  if (auto found = faces_.find(key); found != faces_.end()) return found->second;
  // A long-running printer sees any number of sizes; keep the cache bounded.
  if (faces_.size() >= kMaxFaces) {
    for (auto& [unused, old] : faces_) pango_font_description_free(old.description);
    faces_.clear();
  }
  Face face;
  pango_layout_set_width(layout_, -1);
  pango_layout_set_attributes(layout_, nullptr);
  if (font.name == '0') {
    measureScalable(font, style, face);
  } else {
    measureBitmap(font, face);
  }
  return faces_.emplace(key, face).first->second;
}

void LabelText::measureScalable(const FontChoice& font, Style style, Face& face) {
  const bool light = style == Style::kLight;
  face.description =
      pango_font_description_from_string((scalable_family_ + (light ? "" : " Bold")).c_str());
  // Measured once at a large size: the face's cap height and the advance of
  // a line of capitals, per dot of size.
  constexpr double kProbe = 200;
  pango_font_description_set_absolute_size(face.description, kProbe * PANGO_SCALE);
  pango_layout_set_font_description(layout_, face.description);
  const double cap = Extents(layout_, "H", true).height / static_cast<double>(PANGO_SCALE) / kProbe;
  if (scalable_advance_[0] == 0 && !light) {
    for (size_t i = 0; i < scalable_advance_.size(); ++i) {
      const char character[] = {static_cast<char>(' ' + i), '\0'};
      scalable_advance_[i] =
          Extents(layout_, character, false).width / static_cast<double>(PANGO_SCALE) / kProbe;
    }
  }
  // The printer's own metrics: capitals kPrinterCap * h tall, glyphs grown
  // along the line only. The face's own: heavier by an outline all round.
  if (style != Style::kFace) {
    face.grow = (light ? kLightGrow : kGrow) * font.width;
  } else {
    face.weight = kWeight * std::min(font.height, font.width);
  }
  double size = style != Style::kFace ? kPrinterCap * font.height / cap
                                      : (kCapHeight * font.height - face.weight) / cap;
  face.scale_y = std::max(1.0, size / kMaxFaceSize);
  size /= face.scale_y;
  pango_font_description_set_absolute_size(face.description, size * PANGO_SCALE);
  pango_layout_set_font_description(layout_, face.description);
  constexpr const char kCapitals[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const double capital_advance =
      Extents(layout_, kCapitals, false).width / static_cast<double>(PANGO_SCALE) / 26;
  face.scale_x = kWidth * font.width / capital_advance;
  face.tracking = kTracking * font.width;
  face.size = size;
  face.font_width = font.width;
  const PangoRectangle ink = Extents(layout_, "H", true);
  const double baseline =
      (pango_layout_get_baseline(layout_) - ink.y) / static_cast<double>(PANGO_SCALE);
  // The added outline reaches half its width past the face's own ink: the
  // glyphs are raised by that much, so capitals stand on the baseline.
  face.cap_top = std::max(1.0, baseline * face.scale_y + face.weight);
}

void LabelText::measureBitmap(const FontChoice& font, Face& face) {
  face.description = pango_font_description_from_string((bitmap_family_ + " Bold").c_str());
  face.fixed_pitch = true;
  constexpr double kProbe = 200;
  pango_font_description_set_absolute_size(face.description, kProbe * PANGO_SCALE);
  pango_layout_set_font_description(layout_, face.description);
  const double cap = Extents(layout_, "H", true).height / static_cast<double>(PANGO_SCALE) / kProbe;
  double size = std::max(1.0, kBitmapCap * font.height / cap);
  face.scale_y = std::max(1.0, size / kMaxFaceSize);
  size /= face.scale_y;
  pango_font_description_set_absolute_size(face.description, size * PANGO_SCALE);
  pango_layout_set_font_description(layout_, face.description);
  // Each character advances by its cell and the gap after it.
  const double advance = Extents(layout_, "0", false).width / static_cast<double>(PANGO_SCALE);
  face.scale_x = advance > 0 ? font.width / advance : 1;
  face.tracking = font.gap;
  face.size = size;
  face.cap_top = (kBitmapTop + kBitmapCap) * font.height;
}

void LabelText::spaceScalable(std::string_view text, const Face& f, PangoAttrList* attributes) {
  // One attribute for each run of characters spaced alike.
  int run_start = 0;
  int run_spacing = 0;
  const auto close_run = [&](int end) {
    if (end <= run_start || run_spacing == 0) return;
    PangoAttribute* spacing = pango_attr_letter_spacing_new(run_spacing);
    spacing->start_index = static_cast<guint>(run_start);
    spacing->end_index = static_cast<guint>(end);
    pango_attr_list_insert(attributes, spacing);
  };
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const char* at = begin; at < end; at = g_utf8_find_next_char(at, end)) {
    if (at == nullptr) break;
    const gunichar character = g_utf8_get_char_validated(at, end - at);
    double dots = f.tracking;
    const double advance = PrinterMetrics(character).advance;
    if (advance > 0 && character >= ' ' && character <= '~') {
      const double drawn = scalable_advance_[character - ' '] * f.size * f.scale_x;
      dots = advance * f.font_width - drawn;
    }
    const int spacing = static_cast<int>(std::lround(dots / f.scale_x * PANGO_SCALE));
    const int index = static_cast<int>(at - begin);
    if (spacing != run_spacing) {
      close_run(index);
      run_start = index;
      run_spacing = spacing;
    }
  }
  close_run(static_cast<int>(text.size()));
}

const LabelText::Layout& LabelText::layOut(const std::string& text, const FontChoice& font,
                                           const TextBlock* block, Style style) {
  const Face& f = face(font, style);
  last_ = Layout{};
  placed_.clear();
  last_.scale_x = f.scale_x;
  last_.scale_y = f.scale_y;
  last_.weight = f.weight;
  last_.grow = f.grow;
  pango_layout_set_font_description(layout_, f.description);
  // Font 0 is justified by its own metrics (placeLine), the bitmap fonts by
  // Pango.
  const bool justified = block && block->justification == Justification::kJustified;
  pango_layout_set_justify(layout_, justified && f.grow <= 0);
  if (block && block->width > 0) {
    // A narrow font in a wide block asks for more than Pango's int holds.
    const double width = std::min(block->width / f.scale_x * PANGO_SCALE, 1e9);
    pango_layout_set_width(layout_, static_cast<int>(width));
    pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
  } else {
    pango_layout_set_width(layout_, -1);
  }
  // A font so large that the text could run past what Pango can measure is
  // given the characters that fit: many times more than any label shows.
  std::string_view shown = text;
  const double per_character =
      kMaxEmsPerCharacter * (f.size + std::abs(f.tracking) / f.scale_x) * PANGO_SCALE;
  const auto max_characters = static_cast<glong>(kMaxLayoutUnits / per_character);
  if (g_utf8_strlen(text.data(), static_cast<gssize>(text.size())) > max_characters) {
    const char* end = g_utf8_offset_to_pointer(text.data(), max_characters);
    shown = shown.substr(0, static_cast<size_t>(end - text.data()));
    last_.cut_to = static_cast<int>(max_characters);
  }
  pango_layout_set_text(layout_, shown.data(), static_cast<int>(shown.size()));
  PangoAttrList* attributes = pango_attr_list_new();
  if (f.grow > 0) {
    // Font 0 is placed by the printer's metrics, a glyph to a character;
    // only a block's line breaks follow Pango's advances, made the
    // printer's by letter spacing (which splits the text into as many runs
    // to shape).
    pango_attr_list_insert(attributes, pango_attr_font_features_new("liga 0, clig 0"));
    if (style == Style::kPrinter && block && block->width > 0) spaceScalable(shown, f, attributes);
  } else if (f.tracking > 0) {
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
    PangoRectangle ink, logical;
    pango_layout_line_get_pixel_extents(line, &ink, nullptr);
    pango_layout_line_get_extents(line, nullptr, &logical);
    // Scalable letters start with their ink, bitmap cells with the cell.
    double start = f.fixed_pitch ? logical.x * f.scale_x / PANGO_SCALE : ink.x * f.scale_x;
    double width = f.fixed_pitch ? logical.width * f.scale_x / PANGO_SCALE : ink.width * f.scale_x;
    // The printer's metrics: lines start and end with the pen.
    double pen_end = 0;
    if (f.grow > 0) {
      // A justified block's lines fill it, but for each paragraph's last.
      const bool last_of_paragraph =
          i + 1 == available || pango_layout_get_line_readonly(layout_, i + 1)->is_paragraph_start;
      const double fill =
          justified && !last_of_paragraph ? block->width - (i > 0 ? block->indent : 0) : 0;
      const auto [visible, end] =
          PlaceGlyphs(line, pango_layout_get_text(layout_), i,
                      {f.scale_x, f.scale_y, f.font_width, f.tracking, f.grow}, fill, placed_);
      start = 0;
      width = visible;
      pen_end = end;
    }
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
    // Pango spaces letters only between them: the spacing it leaves off
    // the line's ends (a bitmap font's gap) comes after the line.
    last_.advance =
        f.grow > 0
            ? x + pen_end
            : x + (static_cast<double>(logical.x) + logical.width) * f.scale_x / PANGO_SCALE +
                  f.tracking;
  }
  last_.width = block && block->width > 0 ? block->width : widest;
  last_.height = (block ? max_lines : 1) * pitch - spacing;
  return last_;
}

void LabelText::outline(const cairo_matrix_t& to_picture, GrownFill& shape, cairo_t* cr) {
  outlines_.newLayout();
  for (const PlacedGlyph& p : placed_) {
    cairo_matrix_t glyph;
    cairo_matrix_init_translate(&glyph, last_.line_x[static_cast<size_t>(p.line)] + p.x,
                                last_.baseline + p.line * last_.pitch + p.y);
    cairo_matrix_scale(&glyph, p.scale_x, last_.scale_y);
    cairo_matrix_t glyph_to_picture;
    cairo_matrix_multiply(&glyph_to_picture, &glyph, &to_picture);
    if ((p.glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0 &&
        outlines_.add(p.font, p.glyph, glyph_to_picture, shape)) {
      continue;
    }
    // Pango's box for a missing glyph, or a font FreeType cannot give.
    cairo_save(cr);
    cairo_transform(cr, &glyph);
    one_glyph_->glyphs[0].glyph = p.glyph;
    one_glyph_->glyphs[0].geometry = {};
    cairo_move_to(cr, 0, 0);
    pango_cairo_glyph_string_path(cr, p.font, one_glyph_);
    cairo_restore(cr);
  }
}

void LabelText::draw(cairo_t* cr) const {
  for (size_t i = 0; i < last_.line_x.size(); ++i) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout_, static_cast<int>(i));
    cairo_save(cr);
    cairo_translate(cr, last_.line_x[i],
                    last_.baseline - last_.weight / 2 + static_cast<double>(i) * last_.pitch);
    cairo_scale(cr, last_.scale_x, last_.scale_y);
    if (last_.weight <= 0) {
      cairo_move_to(cr, 0, 0);
      pango_cairo_show_layout_line(cr, line);
      cairo_restore(cr);
      continue;
    }
    // Heavier than the face: its outline filled and stroked. A reversing
    // ink draws the two as one shape, so that it flips each dot once; black
    // and white inks, for which a dot drawn twice is drawn once, draw
    // straight onto the label.
    const cairo_operator_t ink = cairo_get_operator(cr);
    const bool as_one = ink == CAIRO_OPERATOR_XOR;
    if (as_one) {
      PangoRectangle logical;
      pango_layout_line_get_pixel_extents(line, nullptr, &logical);
      const double margin = last_.weight + 2;
      cairo_rectangle(cr, logical.x - margin, logical.y - margin, logical.width + 2 * margin,
                      logical.height + 2 * margin);
      cairo_clip(cr);
      cairo_push_group(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    cairo_move_to(cr, 0, 0);
    pango_cairo_layout_line_path(cr, line);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill_preserve(cr);
    cairo_identity_matrix(cr);
    cairo_set_line_width(cr, last_.weight);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    if (as_one) {
      cairo_pop_group_to_source(cr);
      cairo_set_operator(cr, ink);
      cairo_paint(cr);
    }
    cairo_restore(cr);
  }
}

}  // namespace corvella::zpl
