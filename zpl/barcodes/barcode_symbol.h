#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvella::zpl {

enum class Symbology {
  kCode128,
  kCode39,
  kEan13,
  kUpcA,
  kInterleaved2of5,
  kQrCode,
  kDataMatrix,
  kPdf417,
  kMaxiCode,
  kAztec,
};

struct BarcodeRequest {
  Symbology symbology = Symbology::kCode128;
  std::string data;
  bool check_digit = false;  // Code 39 mod 43, Interleaved 2 of 5 mod 10
  int ecc = 0;               // QR: 1 L .. 4 H; PDF417: security level + 1 (0 automatic)
  bool one_mode = false;     // QR: the data in one mode, the narrowest that holds all of it
  int columns = 0;           // PDF417 data columns, Data Matrix symbol size (0 automatic)
  int rows = 0;              // PDF417 rows (0 automatic)
  bool truncated = false;    // PDF417 without right row indicators and stop pattern
  int aztec_size = 0;        // Aztec: 1-4 compact, 5-36 full-range layers 1-32, 0 automatic
  int aztec_min_ecc = 0;     // Aztec: error correction percentage, 51-99 (0: by `ecc`)
  bool aztec_rune = false;   // Aztec rune: one number 0-255
  bool reader_initialisation = false;  // Aztec menu symbol
  int append_index = 0;                // structured append: this symbol's place (1-based), 0 none
  int append_count = 0;
  std::string append_id;
  bool rectangular = false;  // Data Matrix: rectangular symbols allowed
  int maxicode_mode = 4;     // 2..6
  std::string primary;       // MaxiCode modes 2 and 3: postcode + country + service
};

// The modules of an encoded symbol, row by row, 1 = dark. Linear symbols
// have one row. MaxiCode rows are offset by half a module on odd rows and
// the finder rings are not part of the matrix.
struct BarcodeModules {
  int rows = 0;
  int columns = 0;
  std::vector<uint8_t> dark;
  std::string readable;  // the human readable text (check digits included)

  bool at(int row, int column) const {
    return dark[static_cast<size_t>(row) * static_cast<size_t>(columns) +
                static_cast<size_t>(column)] != 0;
  }
};

// Encodes through libzint (a QR code in one mode through ZXing's encoder).
// Returns nothing, with the library's reason in `reason`, when the data
// cannot be encoded in that symbology.
std::optional<BarcodeModules> EncodeBarcode(const BarcodeRequest& request, std::string& reason);

}  // namespace corvella::zpl
