#include "zpl/text/glyph_placement.h"

#include <algorithm>

#include "zpl/text/scalable_metrics.h"

namespace corvella::zpl {

LineExtent PlaceGlyphs(PangoLayoutLine* line, const char* text, int index, const GlyphScale& face,
                       double fill, std::vector<PlacedGlyph>& glyphs_placed) {
  const size_t first = glyphs_placed.size();
  // The pen moves by the printer's advance of each character, spaces
  // stretched by `stretch` each; Pango's own positions only place the marks
  // of a cluster.
  double pen = 0, visible = 0;
  int spaces = 0;  // before the last character shown
  const auto place = [&](double stretch) {
    pen = visible = 0;
    int spaces_seen = 0;
    double cluster_x = 0, cluster_origin = 0;
    int x = 0;  // Pango units from the line's start
    for (GSList* r = line->runs; r != nullptr; r = r->next) {
      const auto* run = static_cast<const PangoGlyphItem*>(r->data);
      PangoFont* font = run->item->analysis.font;
      const PangoGlyphString* glyphs = run->glyphs;
      for (int g = 0; g < glyphs->num_glyphs; ++g) {
        const PangoGlyphInfo& info = glyphs->glyphs[g];
        const double origin = (x + info.geometry.x_offset) * face.scale_x / PANGO_SCALE;
        x += info.geometry.width;
        PlacedGlyph glyph{
            index,       font, info.glyph, 0, info.geometry.y_offset * face.scale_y / PANGO_SCALE,
            face.scale_x};
        if (g > 0 && glyphs->log_clusters[g] == glyphs->log_clusters[g - 1]) {
          // A mark of the cluster before, where Pango puts it.
          glyph.x = cluster_x + origin - cluster_origin;
          if (info.glyph != PANGO_GLYPH_EMPTY) glyphs_placed.push_back(glyph);
          continue;
        }
        const gunichar character =
            g_utf8_get_char(text + run->item->offset + glyphs->log_clusters[g]);
        const ScalableMetrics m = PrinterMetrics(character);
        PangoRectangle ink, logical;
        pango_font_get_glyph_extents(font, info.glyph, &ink, &logical);
        const double face_advance = logical.width * face.scale_x / PANGO_SCALE;
        double advance = m.advance > 0 ? m.advance * face.font_width : face_advance + face.tracking;
        if (character == ' ') advance += stretch, ++spaces_seen;
        // The face's glyph centred in the advance, unless the printer's ink
        // is known: then the glyph fills it, its growth included.
        glyph.x = pen + (advance - face_advance) / 2;
        if (m.ink > 0 && ink.width > 0 && (info.glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0) {
          const double across = m.ink * face.font_width;
          glyph.scale_x = std::max(across - 2 * face.grow, across / 4) * PANGO_SCALE / ink.width;
          glyph.x = pen + m.left * face.font_width +
                    (across - glyph.scale_x * ink.width / PANGO_SCALE) / 2 -
                    ink.x * glyph.scale_x / PANGO_SCALE;
        }
        cluster_x = glyph.x, cluster_origin = origin;
        pen += advance;
        if (!g_unichar_isspace(character)) visible = pen, spaces = spaces_seen;
        if (info.glyph != PANGO_GLYPH_EMPTY) glyphs_placed.push_back(glyph);
      }
    }
  };
  place(0);
  if (fill > visible && spaces > 0) {
    glyphs_placed.resize(first);
    place((fill - visible) / spaces);
  }
  return {visible, pen};
}

}  // namespace corvella::zpl
