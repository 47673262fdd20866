#pragma once

#include <pango/pangocairo.h>

#include <vector>

namespace corvella::zpl {

// A glyph of font 0 where the printer puts it: drawn with its origin at x
// dots from its line's start and y below the baseline, the face `scale_x`
// dots wide per dot of the laid-out face.
struct PlacedGlyph {
  int line;
  PangoFont* font;
  PangoGlyph glyph;
  double x;
  double y;
  double scale_x;
};

// The face a line was laid out in: dots per dot of the laid-out face across
// and up, the field's font width, the dots added to the advance of a
// character without the printer's metrics, and the dots each glyph grows
// by to either side along the line when drawn.
struct GlyphScale {
  double scale_x;
  double scale_y;
  double font_width;
  double tracking;
  double grow;
};

// Where the pen stands after a line's last character that is not a space
// (what justification places) and after its last character, in dots from
// its start.
struct LineExtent {
  double visible;
  double end;
};

// Adds the glyphs of `line` (line `index` of a layout of `text`) to
// `placed`, the pen starting at 0 and moving by the printer's advance of
// each character (PrinterMetrics); a glyph whose ink the printer's metrics
// give is fitted to it, others are the face's, centred in their advance.
// With `fill` above the line's visible extent and spaces within it, the
// spaces are stretched alike so that it reaches `fill`.
LineExtent PlaceGlyphs(PangoLayoutLine* line, const char* text, int index, const GlyphScale& face,
                       double fill, std::vector<PlacedGlyph>& placed);

}  // namespace corvella::zpl
