#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zpl/barcodes/barcode_params.h"
#include "zpl/barcodes/barcode_symbol.h"

namespace corvella::zpl {

// What a barcode command takes from the label's settings: ^BY's module
// width, wide-to-narrow ratio and bar height, and the printer's resolution.
struct BarcodeDefaults {
  int module_width = 2;
  double ratio = 3.0;
  int bar_height = 10;
  int dots_per_mm = 8;
};

// A barcode field as the printer reads its command and data: the symbol's
// modules and how large each is drawn.
struct BarcodeField {
  enum class Shape {
    kLinear,    // one row of bars `bar_height` tall
    kRows,      // rows of modules `row_height` tall, `module` wide (PDF417, QR, Aztec, ...)
    kMaxiCode,  // hexagons around the finder rings, a fixed size
  };
  Shape shape = Shape::kLinear;
  BarcodeModules modules;
  int module = 2;           // dots per narrow element or module
  int wide = 0;             // dots per wide element of two-width symbologies (Code 39, 2 of 5)
  int bar_height = 0;       // linear symbols
  int row_height = 0;       // rows of the other symbols
  bool line_below = false;  // interpretation line
  bool line_above = false;
  bool orientable = true;  // QR is always drawn upright
  std::vector<std::string> warnings;
};

// Reads a barcode field as the printer does from its command's parameters
// and its field data. Returns nothing, with the reason in `reason`, when a
// printer would print no symbol.
std::optional<BarcodeField> ReadBarcodeField(const BarcodeParams& params, const std::string& data,
                                             const BarcodeDefaults& defaults, std::string& reason);

}  // namespace corvella::zpl
