#include "zpl/text/glyph_outlines.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>

#include <algorithm>
#include <cmath>

namespace corvella::zpl {
namespace {

enum Step : uint8_t { kMove, kLine, kCubic };

// Glyphs kept at once, of all faces.
constexpr size_t kMaxGlyphs = 4096;

// How far a curve may stray from the lines drawn for it, in dots.
constexpr double kTolerance = 0.05;

// FreeType's outline walk, writing the steps of an outline (font units,
// y up); conic curves become the cubic curves they are.
struct Recorder {
  std::vector<uint8_t>& steps;
  std::vector<double>& points;
  double x = 0, y = 0;

  void add(uint8_t step, std::initializer_list<double> xy) {
    steps.push_back(step);
    points.insert(points.end(), xy);
  }
  static Recorder& Of(void* user) { return *static_cast<Recorder*>(user); }
  static int Move(const FT_Vector* to, void* user) {
    Recorder& r = Of(user);
    r.x = static_cast<double>(to->x), r.y = static_cast<double>(to->y);
    r.add(kMove, {r.x, r.y});
    return 0;
  }
  static int Line(const FT_Vector* to, void* user) {
    Recorder& r = Of(user);
    r.x = static_cast<double>(to->x), r.y = static_cast<double>(to->y);
    r.add(kLine, {r.x, r.y});
    return 0;
  }
  static int Conic(const FT_Vector* control, const FT_Vector* to, void* user) {
    Recorder& r = Of(user);
    const double cx = static_cast<double>(control->x), cy = static_cast<double>(control->y);
    const double tx = static_cast<double>(to->x), ty = static_cast<double>(to->y);
    r.add(kCubic, {r.x + 2.0 / 3 * (cx - r.x), r.y + 2.0 / 3 * (cy - r.y), tx + 2.0 / 3 * (cx - tx),
                   ty + 2.0 / 3 * (cy - ty), tx, ty});
    r.x = tx, r.y = ty;
    return 0;
  }
  static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    Recorder& r = Of(user);
    r.x = static_cast<double>(to->x), r.y = static_cast<double>(to->y);
    r.add(kCubic, {static_cast<double>(c1->x), static_cast<double>(c1->y),
                   static_cast<double>(c2->x), static_cast<double>(c2->y), r.x, r.y});
    return 0;
  }
};

}  // namespace

GlyphOutlines::Face* GlyphOutlines::face(PangoFont* font) {
  if (font == last_font_) return last_face_;
  if (!PANGO_IS_FC_FONT(font)) return nullptr;
  FcPattern* pattern = pango_fc_font_get_pattern(PANGO_FC_FONT(font));
  FcChar8* file = nullptr;
  int index = 0;
  FcBool synthetic = FcFalse;
  if (FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
  FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
  std::string key = reinterpret_cast<const char*>(file);
  key += '\n' + std::to_string(index);
  auto [found, added] = faces_.try_emplace(key);
  Face& f = found->second;
  if (added) {
    FcMatrix* matrix = nullptr;
    const bool emboldened =
        FcPatternGetBool(pattern, FC_EMBOLDEN, 0, &synthetic) == FcResultMatch && synthetic;
    const bool transformed = FcPatternGetMatrix(pattern, FC_MATRIX, 0, &matrix) == FcResultMatch;
    cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    if (!emboldened && !transformed && scaled != nullptr &&
        cairo_scaled_font_get_type(scaled) == CAIRO_FONT_TYPE_FT) {
      if (FT_Face ft = cairo_ft_scaled_font_lock_face(scaled)) {
        f.usable = FT_IS_SCALABLE(ft) && ft->units_per_EM > 0;
        f.units_per_em = ft->units_per_EM;
        cairo_ft_scaled_font_unlock_face(scaled);
      }
    }
  }
  last_font_ = font, last_face_ = &f;
  return &f;
}

const GlyphOutlines::Outline* GlyphOutlines::outline(PangoFont* font, Face& f, PangoGlyph glyph) {
  if (auto found = f.glyphs.find(glyph); found != f.glyphs.end()) return &found->second;
  if (glyph_count_ >= kMaxGlyphs) {
    for (auto& [unused, other] : faces_) other.glyphs.clear();
    glyph_count_ = 0;
  }
  cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
  FT_Face ft = cairo_ft_scaled_font_lock_face(scaled);
  if (ft == nullptr) return nullptr;
  Outline read;
  const bool loaded =
      FT_Load_Glyph(ft, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
      ft->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
  if (loaded) {
    Recorder recorder{read.steps, read.points};
    const FT_Outline_Funcs walk = {
        &Recorder::Move, &Recorder::Line, &Recorder::Conic, &Recorder::Cubic, 0, 0};
    FT_Outline_Decompose(&ft->glyph->outline, &walk, &recorder);
  }
  cairo_ft_scaled_font_unlock_face(scaled);
  if (!loaded) return nullptr;
  ++glyph_count_;
  return &f.glyphs.emplace(glyph, std::move(read)).first->second;
}

bool GlyphOutlines::add(PangoFont* font, PangoGlyph glyph, const cairo_matrix_t& to_picture,
                        GrownFill& shape) {
  Face* f = face(font);
  if (f == nullptr || !f->usable) return false;
  const Outline* o = outline(font, *f, glyph);
  if (o == nullptr) return false;
  // Font units to the laid-out face's dots (its font matrix, y turned
  // down), then to the picture.
  cairo_matrix_t font_matrix, units;
  cairo_scaled_font_get_font_matrix(pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font)),
                                    &font_matrix);
  cairo_matrix_init_scale(&units, 1 / f->units_per_em, -1 / f->units_per_em);
  cairo_matrix_multiply(&units, &units, &font_matrix);
  cairo_matrix_t m;
  cairo_matrix_multiply(&m, &units, &to_picture);
  const auto at = [&](size_t i, double& x, double& y) {
    x = o->points[i], y = o->points[i + 1];
    cairo_matrix_transform_point(&m, &x, &y);
  };
  double x0 = 0, y0 = 0;
  size_t i = 0;
  for (uint8_t step : o->steps) {
    if (step == kMove || step == kLine) {
      at(i, x0, y0);
      i += 2;
      if (step == kMove) {
        shape.moveTo(x0, y0);
      } else {
        shape.lineTo(x0, y0);
      }
      continue;
    }
    double x1, y1, x2, y2, x3, y3;
    at(i, x1, y1), at(i + 2, x2, y2), at(i + 4, x3, y3);
    i += 6;
    // Lines enough that none strays more than kTolerance from the curve.
    const double bend = std::max(std::hypot(x0 - 2 * x1 + x2, y0 - 2 * y1 + y2),
                                 std::hypot(x1 - 2 * x2 + x3, y1 - 2 * y2 + y3));
    const int n =
        std::clamp(static_cast<int>(std::ceil(std::sqrt(0.75 * bend / kTolerance))), 1, 256);
    for (int k = 1; k < n; ++k) {
      const double t = static_cast<double>(k) / n, u = 1 - t;
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      shape.lineTo(a * x0 + b * x1 + c * x2 + d * x3, a * y0 + b * y1 + c * y2 + d * y3);
    }
    shape.lineTo(x3, y3);
    x0 = x3, y0 = y3;
  }
  shape.closePath();
  return true;
}

}  // namespace corvella::zpl
