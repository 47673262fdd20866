#include "zpl/text/text_field.h"

namespace corvella::zpl {
namespace {

// In a block, "\&" breaks the line; a break at the very end starts none.
std::string BlockLines(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const bool line_break = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '&';
    lines.push_back(line_break ? '\n' : text[i]);
    i += line_break ? 1 : 0;
  }
  if (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

}  // namespace

TextFieldResult DrawTextField(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                              const std::string& shown, const FontChoice& font,
                              const TextBlock* block) {
  const LabelText::Layout& layout = text.layOut(block ? BlockLines(shown) : shown, font, block);
  at.anchor_v = block ? layout.last_baseline : layout.baseline;
  const cairo_matrix_t matrix = LabelCanvas::fieldMatrix(at, layout.width, layout.height);
  if (layout.grow > 0) {
    canvas.fillGrown(matrix, ink, layout.grow,
                     [&](const cairo_matrix_t& to_picture, GrownFill& shape, cairo_t* cr) {
                       text.outline(to_picture, shape, cr);
                     });
  } else {
    canvas.draw(matrix, ink, [&](cairo_t* cr) { text.draw(cr); });
  }
  return {LabelCanvas::fieldPoint(at, layout.width, layout.height, layout.advance, at.anchor_v),
          layout.truncated, layout.cut_to};
}

}  // namespace corvella::zpl
