#pragma once

#include <optional>
#include <vector>

#include "zpl/commands/label_format.h"
#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

class LabelText;
class PrinterMemory;
struct RenderOptions;
struct RenderedLabel;
struct ZplCommand;

// Applies the label's settings that size its picture (^PW, ^LL, ^MN),
// wherever they stand in it, before it is drawn.
void SetUpLabel(LabelFormat& format, const std::vector<const ZplCommand*>& commands);

// Draws one label's commands on `label`'s picture and reports what became
// of each. With ^MCN in the label, *retained becomes its picture before ^PO
// turns it, for the next label to start from; else it is reset.
void DrawLabel(const RenderOptions& options, LabelFormat& format, const PrinterMemory& memory,
               LabelText& text, const std::vector<const ZplCommand*>& commands,
               RenderedLabel& label, std::optional<LabelCanvas>& retained);

}  // namespace corvella::zpl
