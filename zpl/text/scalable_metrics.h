#pragma once

#include <glib.h>

namespace corvella::zpl {

// Where the printer's scalable font (font 0) puts a character, in shares
// of the field's font width.
struct ScalableMetrics {
  double advance = 0;  // how far the pen moves; 0: the drawn face's own advance
  double left = 0;     // from the pen to the glyph's first ink
  double ink = 0;      // the glyph's ink across; 0: the face's glyph centred in the advance
};

// The metrics of `character` measured on the printer's pictures; a letter
// with an accent has its base letter's. Zeros for any other character.
ScalableMetrics PrinterMetrics(gunichar character);

}  // namespace corvella::zpl
