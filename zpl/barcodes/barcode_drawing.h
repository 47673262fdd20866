#pragma once

#include "zpl/barcodes/barcode_field.h"
#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

class LabelText;

// Draws a barcode field at the field's placement (^FT: by the bottom left
// of its bars): linear symbols bar by bar with their interpretation line,
// the others module by module, MaxiCode as hexagons about an inch across
// at `dots_per_mm`. The placement's orientation is the field's; a symbol
// that is not orientable is drawn upright.
void DrawBarcode(LabelCanvas& canvas, LabelText& text, Placement at, Ink ink,
                 const BarcodeField& field, int dots_per_mm);

}  // namespace corvella::zpl
