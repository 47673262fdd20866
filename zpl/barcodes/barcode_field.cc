#include "zpl/barcodes/barcode_field.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <variant>

#include "zpl/barcodes/code128_symbol.h"

namespace corvella::zpl {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(const std::string& s, size_t from, size_t count) {
  if (from + count > s.size()) return false;
  return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                     s.begin() + static_cast<std::ptrdiff_t>(from + count), IsDigit);
}

// The magnification of two-dimensional symbols when the command gives none.
int DefaultMagnification(int dots_per_mm) {
  return dots_per_mm >= 24 ? 6 : dots_per_mm >= 12 ? 3 : dots_per_mm >= 8 ? 2 : 1;
}

// ^BQ field data: [D<nn><mm><pp>,]<level><input mode>,<data>. The printer
// takes the first three characters (after the structured-append header) as
// level, input mode and comma whatever they are: data without them loses
// its first three characters, as on paper. A level other than H, Q, M, L
// is M; input mode A sets the data in one mode, M reads it as segments
// <N|A|K><characters> or B<four-digit count><bytes>, separated by commas.
bool ReadQrData(const std::string& data, BarcodeRequest& request, BarcodeField& field,
                std::string& reason) {
  size_t at = 0;
  if (data.size() >= 8 && g_ascii_toupper(data[0]) == 'D' && AllDigits(data, 1, 4) &&
      data[7] == ',') {
    request.append_index = std::atoi(data.substr(1, 2).c_str());
    request.append_count = std::atoi(data.substr(3, 2).c_str());
    request.append_id = std::to_string(std::strtol(data.substr(5, 2).c_str(), nullptr, 16));
    at = 8;
  }
  if (data.size() < at + 3) {
    reason = "no data after the QR error correction and input mode";
    return false;
  }
  const std::string levels = "LMQH";
  const size_t level = levels.find(g_ascii_toupper(data[at]));
  // A level other than these is M, as a printer's pictures show.
  request.ecc = level != std::string::npos ? static_cast<int>(level) + 1 : 2;
  if (level == std::string::npos || data[at + 2] != ',') {
    field.warnings.push_back("^BQ data starts '" + data.substr(at, 3) +
                             "', not a level, input mode and comma; the printer takes them so");
  }
  std::string rest = data.substr(at + 3);
  // Automatic input sets all the data in one mode, as the printer's
  // pictures show: a mixed text goes out as bytes throughout.
  request.one_mode = g_ascii_toupper(data[at + 1]) == 'A';
  if (g_ascii_toupper(data[at + 1]) == 'M') {
    std::string joined;
    for (size_t k = 0; k < rest.size();) {
      const char kind = g_ascii_toupper(rest[k]);
      size_t end;
      if (kind == 'B' && AllDigits(rest, k + 1, 4)) {
        const size_t count = static_cast<size_t>(std::atoi(rest.substr(k + 1, 4).c_str()));
        end = std::min(rest.size(), k + 5 + count);
        joined += rest.substr(k + 5, end - k - 5);
      } else {
        end = std::min(rest.find(',', k), rest.size());
        const size_t from = kind == 'N' || kind == 'A' || kind == 'K' ? k + 1 : k;
        joined += rest.substr(from, end - from);
      }
      k = end < rest.size() && rest[end] == ',' ? end + 1 : end;
    }
    rest = std::move(joined);
  }
  if (rest.empty()) {
    reason = "no QR data after its prefix";
    return false;
  }
  request.data = std::move(rest);
  return true;
}

// ^BD modes 2 and 3: class of service (3 digits), country (3 digits) and
// postal code (up to 9 digits, or 6 characters) come first.
void ReadMaxiCodeData(const std::string& data, BarcodeRequest& request, BarcodeField& field) {
  if (request.maxicode_mode > 3) return;
  if (data.size() < 7) {
    field.warnings.push_back("^BD mode " + std::to_string(request.maxicode_mode) +
                             " data without its postal header");
    request.maxicode_mode = 4;
    return;
  }
  const std::string service = data.substr(0, 3), country = data.substr(3, 3);
  size_t postal_end = 6;
  if (request.maxicode_mode == 2) {
    while (postal_end < data.size() && postal_end < 15 && IsDigit(data[postal_end])) {
      ++postal_end;
    }
  } else {
    postal_end = std::min<size_t>(data.size(), 12);
  }
  request.primary = data.substr(6, postal_end - 6) + country + service;
  request.data = data.substr(postal_end);
}

// PDF417 without columns or rows: as many columns as keep the rows at no
// more than twice the columns, the printer's 1:2 aspect.
std::optional<BarcodeModules> EncodePdf417(BarcodeRequest request, std::string& reason) {
  if (request.columns > 0 || request.rows > 0) return EncodeBarcode(request, reason);
  for (int columns = 1; columns <= 30; ++columns) {
    request.columns = columns;
    std::string too_narrow;  // a width that does not fit is tried no further
    std::optional<BarcodeModules> modules = EncodeBarcode(request, too_narrow);
    if (modules && (modules->rows <= 2 * columns || columns == 30)) return modules;
  }
  request.columns = 0;
  return EncodeBarcode(request, reason);
}

// One barcode field being read: its data, the label's defaults, and what
// its reader makes of them. A reader that encodes the symbol itself sets
// `modules`; otherwise `request` goes to libzint.
struct BarcodeReading {
  const std::string& data;
  const BarcodeDefaults& defaults;
  BarcodeField field;
  BarcodeRequest request;
  std::optional<BarcodeModules> modules;
};

// A linear symbol's bar height and interpretation lines; Code 39 and 2 of
// 5 draw their wide elements by ^BY's ratio.
template <typename Linear>
void ReadLinear(const Linear& p, BarcodeReading& r, bool two_widths) {
  r.field.bar_height = p.height.value_or(r.defaults.bar_height);
  r.field.line_below = p.line;
  r.field.line_above = p.line_above;
  if (two_widths) r.field.wide = static_cast<int>(std::lround(r.defaults.ratio * r.field.module));
}

bool ReadSymbol(const Code128Params& p, BarcodeReading& r, std::string& reason) {
  ReadLinear(p, r, false);
  // The mode, in the order of the letters N, U, A, D; N when none.
  constexpr Code128Mode kModes[] = {Code128Mode::kNone, Code128Mode::kUccCase,
                                    Code128Mode::kAutomatic, Code128Mode::kUccEan};
  const size_t mode = std::string("NUAD").find(p.mode);
  const Code128Request code128{
      r.data, mode == std::string::npos ? Code128Mode::kNone : kModes[mode], p.check_digit};
  std::optional<Code128Values> values = ReadCode128Data(code128, reason);
  if (!values) return false;
  r.modules = Code128SymbolModules(*values);
  return true;
}

bool ReadSymbol(const Code39Params& p, BarcodeReading& r, std::string&) {
  ReadLinear(p, r, true);
  r.request.symbology = Symbology::kCode39;
  r.request.check_digit = p.check_digit;
  return true;
}

// EAN-13 and UPC-A data is exactly 12 and 11 characters: longer data is cut,
// shorter is padded on the left with zeros. The printer computes the check
// digit, so one given in the data is cut off with the rest.
bool ReadSymbol(const EanUpcParams& p, BarcodeReading& r, std::string&) {
  ReadLinear(p, r, false);
  r.request.symbology = p.upc ? Symbology::kUpcA : Symbology::kEan13;
  const size_t length = p.upc ? 11 : 12;
  std::string& data = r.request.data;
  if (data.size() > length) data.resize(length);
  data.insert(0, length - data.size(), '0');
  return true;
}

// Interleaved 2 of 5 encodes digits only: the printer draws the digits of
// the data and leaves every other character out.
bool ReadSymbol(const Interleaved2of5Params& p, BarcodeReading& r, std::string& reason) {
  ReadLinear(p, r, true);
  r.request.symbology = Symbology::kInterleaved2of5;
  r.request.check_digit = p.check_digit;
  std::string& data = r.request.data;
  const size_t given = data.size();
  data.erase(std::remove_if(data.begin(), data.end(), [](char c) { return !IsDigit(c); }),
             data.end());
  if (data.empty()) {
    reason = "no digit in the data";
    return false;
  }
  if (data.size() < given) {
    r.field.warnings.push_back("^B2 drew the digits of its data and left out " +
                               std::to_string(given - data.size()) + " other characters");
  }
  return true;
}

bool ReadSymbol(const QrParams& p, BarcodeReading& r, std::string& reason) {
  r.request.symbology = Symbology::kQrCode;
  r.field.shape = BarcodeField::Shape::kRows;
  r.field.orientable = false;
  if (p.model == 1) r.field.warnings.push_back("^BQ model 1 drawn as model 2");
  r.field.module = p.magnification.value_or(DefaultMagnification(r.defaults.dots_per_mm));
  // The command's level: Q when empty, M when not a level.
  const size_t known = std::string("LMQH").find(p.level);
  r.request.ecc = known == std::string::npos ? 2 : static_cast<int>(known) + 1;
  return ReadQrData(r.data, r.request, r.field, reason);
}

bool ReadSymbol(const DataMatrixParams& p, BarcodeReading& r, std::string&) {
  r.request.symbology = Symbology::kDataMatrix;
  r.field.shape = BarcodeField::Shape::kRows;
  r.field.module = p.module.value_or(std::max(1, r.defaults.module_width * 2));
  if (p.quality != 200) {
    r.field.warnings.push_back("^BX quality levels below 200 drawn as ECC 200");
  }
  r.request.rectangular = p.aspect == 2;
  return true;
}

bool ReadSymbol(const Pdf417Params& p, BarcodeReading& r, std::string& reason) {
  r.request.symbology = Symbology::kPdf417;
  r.field.shape = BarcodeField::Shape::kRows;
  r.request.ecc = p.security + 1;
  r.request.columns = p.columns;
  r.request.rows = p.rows == 0 ? 0 : std::max(p.rows, 3);
  r.request.truncated = p.truncated;
  r.modules = EncodePdf417(r.request, reason);
  if (!r.modules) return false;
  // The row height counts modules; without it ^BY's height is the whole
  // symbol's, shared by its rows.
  const double shared = static_cast<double>(r.defaults.bar_height) / std::max(1, r.modules->rows);
  r.field.row_height = p.row_height > 0 ? p.row_height * r.field.module
                                        : std::max(1, static_cast<int>(std::lround(shared)));
  return true;
}

bool ReadSymbol(const MaxiCodeParams& p, BarcodeReading& r, std::string&) {
  r.request.symbology = Symbology::kMaxiCode;
  r.field.shape = BarcodeField::Shape::kMaxiCode;
  r.request.maxicode_mode = p.mode;
  ReadMaxiCodeData(r.data, r.request, r.field);
  return true;
}

bool ReadSymbol(const AztecParams& p, BarcodeReading& r, std::string&) {
  r.request.symbology = Symbology::kAztec;
  r.field.shape = BarcodeField::Shape::kRows;
  r.field.module = p.magnification.value_or(DefaultMagnification(r.defaults.dots_per_mm));
  if (p.eci) r.field.warnings.push_back("^BO data with ECIs drawn as bytes");
  const int size = p.size;
  if (size >= 1 && size <= 99) {
    // A minimum error correction percentage: the next level at or above it.
    r.request.ecc = size <= 10 ? 1 : size <= 23 ? 2 : size <= 36 ? 3 : 4;
    if (size > 50) r.request.aztec_min_ecc = size;
  } else if (size >= 101 && size <= 104) {
    r.request.aztec_size = size - 100;
  } else if (size >= 201 && size <= 232) {
    r.request.aztec_size = size - 196;
  } else if (size == 300) {
    r.request.aztec_rune = true;
  }
  r.request.reader_initialisation = p.reader_initialisation;
  if (p.symbols > 1) r.field.warnings.push_back("^BO structured append drawn as a single symbol");
  return true;
}

}  // namespace

std::optional<BarcodeField> ReadBarcodeField(const BarcodeParams& params, const std::string& data,
                                             const BarcodeDefaults& defaults, std::string& reason) {
  BarcodeReading r{data, defaults, {}, {}, std::nullopt};
  r.field.module = defaults.module_width;
  r.field.bar_height = defaults.bar_height;
  r.request.data = data;
  const bool read = std::visit([&](const auto& p) { return ReadSymbol(p, r, reason); }, params);
  if (!read) return std::nullopt;
  if (!r.modules) r.modules = EncodeBarcode(r.request, reason);
  if (!r.modules) return std::nullopt;
  r.field.modules = std::move(*r.modules);
  if (r.field.shape == BarcodeField::Shape::kRows && r.field.row_height == 0) {
    r.field.row_height = r.field.module;
  }
  return std::move(r.field);
}

}  // namespace corvella::zpl
