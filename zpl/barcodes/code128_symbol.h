#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zpl/barcodes/barcode_symbol.h"

namespace corvella::zpl {

// How ^BC reads its field data (its sixth parameter).
enum class Code128Mode {
  kNone,       // N: subset B unless the data starts in A (>9) or C (>;); subsets change only
               // where an invocation code says so
  kUccCase,    // U: 19 digits plus their mod 10 check digit, in subset C after FNC1
  kAutomatic,  // A: every character is data, ">8" FNC1; the printer chooses subsets, four or
               // more digits in a row go to subset C
  kUccEan,     // D: GS1 application identifiers with FNC1, check digits added where due
};

struct Code128Request {
  std::string data;  // the field data, ^FH already applied
  Code128Mode mode = Code128Mode::kNone;
  bool ucc_check_digit = false;  // ^BC's fifth parameter: a mod 10 digit after the data
};

// The symbol values of a Code 128 symbol from its start character up to (not
// including) the check character, and the interpretation line a printer
// shows under it.
struct Code128Values {
  std::vector<int> values;
  std::string readable;
};

// Reads the data as a printer does in the requested mode. Data a printer
// would print nothing for (no character left to encode) gives nothing, with
// the reason in `reason`.
std::optional<Code128Values> ReadCode128Data(const Code128Request& request, std::string& reason);

// The modules of the symbol: the values, their mod 103 check character and
// the stop pattern; no quiet zones.
BarcodeModules Code128SymbolModules(const Code128Values& values);

}  // namespace corvella::zpl
