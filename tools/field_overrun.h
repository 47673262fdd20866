#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zpl/document/document_drawing.h"
#include "zpl/document/label_renderer.h"

namespace corvella::zpl {

// Tells of the fields of a document's labels that run past the label's
// right or bottom edge ("a field runs past the right edge (x 812): ink
// reaches x 1179"), label by label in order. The check draws the document
// a second time without media, with the print width (^PW) and label length
// (^LL) doubled, and looks for ink beyond the first drawing's edges, so a
// box drawn exactly up to an edge is not taken for one that runs past it.
// Nothing is told for a document that turns its labels (^POI), whose dots
// move with the label's size, nor when the second drawing does not give as
// many labels. The document must outlive the check.
class FieldOverrunCheck {
 public:
  FieldOverrunCheck(const RenderOptions& options, std::string_view document);

  // The warnings about the next label.
  std::vector<std::string> next();

 private:
  struct Size {
    int width = 0;
    int height = 0;
  };
  std::vector<Size> sizes_;  // each label's, drawn without media
  size_t index_ = 0;
  std::string widened_;
  LabelRenderer wide_renderer_;
  std::optional<DocumentDrawing> wide_;
};

}  // namespace corvella::zpl
