#pragma once

#include <pango/pangocairo.h>

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "zpl/drawing/grown_fill.h"
#include "zpl/text/glyph_outlines.h"
#include "zpl/text/glyph_placement.h"
#include "zpl/text/printer_fonts.h"

namespace corvella::zpl {

enum class Justification { kLeft, kCenter, kRight, kJustified };

// A text block (^FB): width in dots, at most `max_lines` lines, `spacing`
// extra dots between lines, lines after the first indented by `indent`.
struct TextBlock {
  int width = 0;
  int max_lines = 1;
  int spacing = 0;
  Justification justification = Justification::kLeft;
  int indent = 0;
};

// Lays out text in printer font cells: each line is one cell high (plus the
// block's spacing), capitals reach the top of the cell and the first ink of
// a left-justified line sits at the line's start. Not thread-safe: one per
// thread.
class LabelText {
 public:
  LabelText();
  ~LabelText();
  LabelText(const LabelText&) = delete;
  LabelText& operator=(const LabelText&) = delete;

  struct Layout {
    double width = 0;  // the field's box
    double height = 0;
    double baseline = 0;  // of the first line, from the top
    double last_baseline = 0;
    double pitch = 0;  // from one baseline to the next
    int lines = 0;
    bool truncated = false;  // more lines than the block allows
    int cut_to = 0;  // when above 0, the characters laid out of a text too long for its font
    double scale_x = 1;
    double scale_y = 1;
    double weight = 0;  // dots of outline added to each glyph's
    // Above 0: font 0 as the printer draws it, each glyph where the
    // printer puts it and grown by this many dots to either side along the
    // line (path() and LabelCanvas::fillGrown draw it).
    double grow = 0;
    std::vector<double> line_x;  // each line's start, in field dots
    // Where the pen stands after the last line's last character (its
    // trailing spaces and gaps included), from the field's left edge: a
    // following ^FT without coordinates starts there.
    double advance = 0;
  };

  // How font 0 is drawn: by the printer's metrics (text fields), by them
  // with the lighter strokes of a barcode's interpretation line, or as the
  // face's own glyphs heavier by an outline (the letters of ^GS marks,
  // calibrated to them).
  enum class Style { kPrinter, kLight, kFace };

  // Lays out `text` (UTF-8); with `block` null, a single line as wide as
  // its text.
  const Layout& layOut(const std::string& text, const FontChoice& font, const TextBlock* block,
                       Style style = Style::kPrinter);
  // Draws the last layout with the field's top left at cairo's origin.
  void draw(cairo_t* cr) const;
  // Adds the glyphs of the last layout, when it has `grow`, to `shape`
  // (`to_picture` takes the field's coordinates to the picture's), or to
  // cairo's path in the field's coordinates those it cannot.
  void outline(const cairo_matrix_t& to_picture, GrownFill& shape, cairo_t* cr);

 private:
  struct Face {
    PangoFontDescription* description = nullptr;
    double scale_x = 1;  // dots per unit of the laid-out face, across
    double scale_y = 1;  // and up: above 1 for faces laid out smaller than drawn
    double weight = 0;
    double grow = 0;           // font 0 drawn by the printer's metrics
    double tracking = 0;       // dots added to each letter's advance
    double size = 0;           // the laid-out face's size
    double font_width = 0;     // the field's font width in dots (font 0)
    double cap_top = 0;        // from the top of the cell to the baseline
    bool fixed_pitch = false;  // cells placed by their advance, not by their ink
  };
  void measureScalable(const FontChoice& font, Style style, Face& face);
  void measureBitmap(const FontChoice& font, Face& face);
  const Face& face(const FontChoice& font, Style style);
  // Letter spacing for each character of `text` in `f` (font 0), so that
  // Pango breaks a block's lines where the printer's advances fill them.
  void spaceScalable(std::string_view text, const Face& f, PangoAttrList* attributes);

  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  std::string scalable_family_;  // the face drawn for font 0
  std::string bitmap_family_;    // the face drawn for the bitmap fonts
  std::map<std::tuple<char, int, int, Style>, Face> faces_;
  // The scalable face's advance of each printable ASCII character per dot
  // of size, measured once.
  std::array<double, 95> scalable_advance_{};
  Layout last_;
  std::vector<PlacedGlyph> placed_;  // the last layout's, when it has `grow`
  PangoGlyphString* one_glyph_ = nullptr;
  GlyphOutlines outlines_;
};

}  // namespace corvella::zpl
