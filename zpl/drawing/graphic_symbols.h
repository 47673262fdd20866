#pragma once

#include <optional>
#include <string>

#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

class LabelText;

// ^GS: the marks of the letters A (registered), B (copyright), C
// (trademark), D (UL) and E (CSA), in a cell `height` dots high and
// `width` wide, as a printer's pictures show them: marks reach above the
// field origin, under ^FT their cell stands 0.73 h above the baseline; a
// space moves on by 1.12 h and a mark does not move on. Returns where a
// following field goes on (0.95 h after the last mark), or nothing when
// `letters` holds no mark.
std::optional<Point> DrawGraphicSymbols(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                                        const std::string& letters, double height, double width);

}  // namespace corvella::zpl
