#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zpl/document/label_renderer.h"

namespace corvella::zpl {

// For each label of `plain`, what `renderer` (which has no media) drew of
// `document`, the warnings about fields that run past its right or bottom edge ("a field
// runs past the right edge (x 812): ink reaches x 1179"). The check draws
// the document a second time with the print width (^PW) and label length
// (^LL) doubled and looks for ink beyond the first drawing's edges, so a
// box drawn exactly up to an edge is not taken for one that runs past it.
// Nothing is told for a document that turns its labels (^POI), whose dots
// move with the label's size. One vector per label, in order; empty when
// the second drawing does not give the same labels.
std::vector<std::vector<std::string>> FieldOverrunWarnings(LabelRenderer& renderer,
                                                           std::string_view document,
                                                           const RenderedDocument& plain);

}  // namespace corvella::zpl
