#pragma once

#include <optional>
#include <variant>

#include "zpl/drawing/label_canvas.h"

namespace corvella::zpl {

// The parameters of each barcode command, as the command reads them (in
// zpl/commands/barcode_commands.cc). What a command leaves out and takes
// from ^BY (bar height, module width) stays empty here and is filled in
// from the label's settings when the field is drawn.

// ^BCo,h,f,g,e,m: Code 128.
struct Code128Params {
  std::optional<Orientation> orientation;
  std::optional<int> height;
  bool line = true;  // interpretation line
  bool line_above = false;
  bool check_digit = false;  // a UCC mod 10 digit after the data
  char mode = 'N';           // N, U, A or D
};

// ^B3o,e,h,f,g: Code 39.
struct Code39Params {
  std::optional<Orientation> orientation;
  bool check_digit = false;
  std::optional<int> height;
  bool line = true;
  bool line_above = false;
};

// ^BEo,h,f,g: EAN-13 and ^BUo,h,f,g,e: UPC-A.
struct EanUpcParams {
  std::optional<Orientation> orientation;
  std::optional<int> height;
  bool line = true;
  bool line_above = false;
  bool upc = false;  // which of the two commands
};

// ^B2o,h,f,g,e: Interleaved 2 of 5.
struct Interleaved2of5Params {
  std::optional<Orientation> orientation;
  std::optional<int> height;
  bool line = true;
  bool line_above = false;
  bool check_digit = false;
};

// ^BQa,b,c,d: QR code (always drawn upright).
struct QrParams {
  std::optional<Orientation> orientation;
  int model = 2;
  std::optional<int> magnification;
  char level = 'Q';
};

// ^BXo,h,s,c,r,f,g,a: Data Matrix.
struct DataMatrixParams {
  std::optional<Orientation> orientation;
  std::optional<int> module;
  int quality = 200;
  int aspect = 1;  // 1 square, 2 rectangular
};

// ^B7o,h,s,c,r,t: PDF417.
struct Pdf417Params {
  std::optional<Orientation> orientation;
  int row_height = 0;  // in modules; 0: ^BY's height shared by the rows
  int security = 0;
  int columns = 0;
  int rows = 0;
  bool truncated = false;
};

// ^BDm,n,t: MaxiCode (no orientation).
struct MaxiCodeParams {
  int mode = 2;
};

// ^BOa,b,c,d,e,f,g: Aztec.
struct AztecParams {
  std::optional<Orientation> orientation;
  std::optional<int> magnification;
  bool eci = false;
  int size = 0;  // error correction percentage, or a symbol size (101-104, 201-232, 300)
  bool reader_initialisation = false;
  int symbols = 1;  // structured append
};

using BarcodeParams =
    std::variant<Code128Params, Code39Params, EanUpcParams, Interleaved2of5Params, QrParams,
                 DataMatrixParams, Pdf417Params, MaxiCodeParams, AztecParams>;

}  // namespace corvella::zpl
