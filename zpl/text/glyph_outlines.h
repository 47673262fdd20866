#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "zpl/drawing/grown_fill.h"

namespace corvella::zpl {

// The outlines of the glyphs text is drawn with, read once from their font
// files and kept: drawing a glyph again is carrying its points to the
// picture, its curves cut into lines within a tenth of a dot.
class GlyphOutlines {
 public:
  // Adds the outline of `glyph` of `font` to `shape`, `to_picture` taking
  // the glyph's own coordinates (dots of the laid-out face, y down, the
  // origin on the baseline) to the picture. False, adding nothing, when the
  // font's outlines cannot be read (not a FreeType font, or one that
  // FreeType is asked to embolden or slant): cairo draws it then.
  bool add(PangoFont* font, PangoGlyph glyph, const cairo_matrix_t& to_picture, GrownFill& shape);
  // Starts the glyphs of another layout: fonts are known again by name.
  void newLayout() { last_font_ = nullptr; }

 private:
  // One glyph in font units, y up: each contour a move, then lines (one
  // point) and cubic curves (three points).
  struct Outline {
    std::vector<uint8_t> steps;
    std::vector<double> points;  // x, y pairs
  };
  struct Face {
    bool usable = false;
    double units_per_em = 1;
    std::unordered_map<PangoGlyph, Outline> glyphs;
  };
  Face* face(PangoFont* font);
  const Outline* outline(PangoFont* font, Face& face, PangoGlyph glyph);

  std::unordered_map<std::string, Face> faces_;  // by font file and face index
  size_t glyph_count_ = 0;
  PangoFont* last_font_ = nullptr;  // of the layout under way, which holds it
  Face* last_face_ = nullptr;
};

}  // namespace corvella::zpl
