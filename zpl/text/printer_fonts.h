#pragma once

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

}  // namespace corvella::zpl
