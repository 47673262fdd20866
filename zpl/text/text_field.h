#pragma once

#include <string>

#include "zpl/drawing/label_canvas.h"
#include "zpl/text/label_text.h"

namespace corvella::zpl {

// What drawing a text field left behind.
struct TextFieldResult {
  Point pen;               // where a following ^FT without coordinates goes on
  bool truncated = false;  // the block (^FB) had more lines than it allows
  int cut_to = 0;          // above 0: the characters drawn of a text too long for its font
};

// Draws `text` (UTF-8) in `font` at the field's placement: ^FO by the top
// left of its box, ^FT by the first line's baseline, or within a block
// (^FB) by the last line's, where "\&" breaks the line.
TextFieldResult DrawTextField(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                              const std::string& shown, const FontChoice& font,
                              const TextBlock* block);

}  // namespace corvella::zpl
