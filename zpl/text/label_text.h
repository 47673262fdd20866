#pragma once

#include <pango/pangocairo.h>

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::zpl {

// A printer font as a field asks for it: the font's name (0 for the scalable
// font, A-H and P-V for the bitmap fonts), the character cell in dots and,
// for a bitmap font, the dots left blank between two cells. Bitmap fonts
// are fixed-pitch, drawn with a monospaced face fitted to their cells; the
// scalable font with a condensed sans face.
struct FontChoice {
  char name = 'A';
  int height = 9;
  int width = 5;
  int gap = 1;
};

// Whether the printer has a font of this name (0, A-H, P-V). A field that
// names another is drawn in the default font (^CF).
bool IsPrinterFont(char name);

// The cell of a font as a field asked for it (`height`, `width` 0 when not
// given): a bitmap font grows by whole multiples of its base cell and gap,
// the multiple nearest to what is asked (1 to 10), and with one side asked
// the other grows as much. A name the printer does not have is
// drawn as the scalable font.
FontChoice ResolveFont(char name, int height, int width);

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
    double weight = 0;           // dots of outline added to each glyph's
    std::vector<double> line_x;  // each line's start, in field dots
    // Where the pen stands after the last line's last character (its
    // trailing spaces and gaps included), from the field's left edge: a
    // following ^FT without coordinates starts there.
    double advance = 0;
  };

  // How font 0 moves the pen: by the printer's advance of each character
  // (text fields), or by the drawn face's own (shapes calibrated to it: the
  // letters of ^GS marks, the interpretation line fitted to its modules).
  enum class Advance { kPrinter, kFace };

  // Lays out `text` (UTF-8); with `block` null, a single line as wide as
  // its text.
  const Layout& layOut(const std::string& text, const FontChoice& font, const TextBlock* block,
                       Advance advance = Advance::kPrinter);
  // Draws the last layout with the field's top left at cairo's origin.
  void draw(cairo_t* cr) const;

 private:
  struct Face {
    PangoFontDescription* description = nullptr;
    double scale_x = 1;  // dots per unit of the laid-out face, across
    double scale_y = 1;  // and up: above 1 for faces laid out smaller than drawn
    double weight = 0;
    double tracking = 0;       // dots added to each letter's advance
    double size = 0;           // the laid-out face's size
    double font_width = 0;     // the field's font width in dots (font 0)
    double cap_top = 0;        // from the top of the cell to the baseline
    bool fixed_pitch = false;  // cells placed by their advance, not by their ink
  };
  void measureScalable(const FontChoice& font, Face& face);
  void measureBitmap(const FontChoice& font, Face& face);
  const Face& face(const FontChoice& font);
  // Letter spacing for each character of `text` in `f` (font 0): what moves
  // the pen by the printer's advance rather than the drawn face's. Pango
  // splits each character's spacing about it and leaves half the first's
  // and half the last's off the line; returns those dots, so that the line
  // and they together are the sum of the printer's advances. In a
  // `justified` block spaces keep the face's advance, which Pango stretches.
  double spaceScalable(std::string_view text, const Face& f, bool justified,
                       PangoAttrList* attributes);

  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  std::string scalable_family_;  // the face drawn for font 0
  std::string bitmap_family_;    // the face drawn for the bitmap fonts
  std::map<std::tuple<char, int, int>, Face> faces_;
  // The scalable face's advance of each printable ASCII character per dot
  // of size, measured once.
  std::array<double, 95> scalable_advance_{};
  Layout last_;
};

}  // namespace corvella::zpl
