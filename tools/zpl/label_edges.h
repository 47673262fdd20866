#pragma once

#include <string>
#include <vector>

#include "tools/zpl/label_canvas.h"

namespace corvella::zpl {

// Where ink touches an edge of a label's picture, as warnings ("ink reaches
// the right edge at y 50-110: a field may run past the label"). Ink on the
// outermost row or column is what a field cut off by the label's edge
// leaves; a box or line drawn exactly up to the edge leaves it too, so this
// is a warning to look, never a verdict.
std::vector<std::string> EdgeInkWarnings(const LabelCanvas& picture);

}  // namespace corvella::zpl
