#include "tools/zpl/barcode_field.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "tools/zpl/code128_symbol.h"
#include "tools/zpl/zpl_commands.h"

namespace corvella::zpl {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool AllDigits(const std::string& s, size_t from, size_t count) {
  if (from + count > s.size()) return false;
  return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                     s.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The magnification of two-dimensional symbols when the command gives none.
int DefaultMagnification(int dots_per_mm) {
  return dots_per_mm >= 24 ? 6 : dots_per_mm >= 12 ? 3 : dots_per_mm >= 8 ? 2 : 1;
}

// ^BQ field data: [D<nn><mm><pp>,]<level><input mode>,<data>. The printer
// takes the first three characters (after the structured-append header) as
// level, input mode and comma whatever they are: data without them loses
// its first three characters, as on paper. A level other than H, Q, M, L
// is M; input mode M reads the data as segments
// <N|A|K><characters> or B<four-digit count><bytes>, separated by commas.
bool ReadQrData(const std::string& data, BarcodeRequest& request, BarcodeField& field,
                std::string* error) {
  size_t at = 0;
  if (data.size() >= 8 && Upper(data[0]) == 'D' && AllDigits(data, 1, 4) && data[7] == ',') {
    request.append_index = std::atoi(data.substr(1, 2).c_str());
    request.append_count = std::atoi(data.substr(3, 2).c_str());
    request.append_id = std::to_string(std::strtol(data.substr(5, 2).c_str(), nullptr, 16));
    at = 8;
  }
  if (data.size() < at + 3) {
    if (error) *error = "no data after the QR error correction and input mode";
    return false;
  }
  const std::string levels = "LMQH";
  const size_t level = levels.find(Upper(data[at]));
  // A level other than these is M, as a printer's pictures show.
  request.ecc = level != std::string::npos ? static_cast<int>(level) + 1 : 2;
  if (level == std::string::npos || data[at + 2] != ',') {
    field.warnings.push_back("^BQ data starts '" + data.substr(at, 3) +
                             "', not a level, input mode and comma; the printer takes them so");
  }
  std::string rest = data.substr(at + 3);
  if (Upper(data[at + 1]) == 'M') {
    std::string joined;
    for (size_t k = 0; k < rest.size();) {
      const char kind = Upper(rest[k]);
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
    if (error) *error = "no QR data after its prefix";
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
    while (postal_end < data.size() && postal_end < 15 && std::isdigit(data[postal_end])) {
      ++postal_end;
    }
  } else {
    postal_end = std::min<size_t>(data.size(), 12);
  }
  request.primary = data.substr(6, postal_end - 6) + country + service;
  request.data = data.substr(postal_end);
}

std::optional<BarcodeModules> Encode(const BarcodeRequest& request, std::string* error) {
  std::string reason;
  auto modules = EncodeBarcode(request, &reason);
  if (!modules && error) *error = reason;
  return modules;
}

// PDF417 without columns or rows: as many columns as keep the rows at no
// more than twice the columns, the printer's 1:2 aspect.
std::optional<BarcodeModules> EncodePdf417(BarcodeRequest request, std::string* error) {
  if (request.columns > 0 || request.rows > 0) return Encode(request, error);
  for (int columns = 1; columns <= 30; ++columns) {
    request.columns = columns;
    std::optional<BarcodeModules> modules = EncodeBarcode(request, nullptr);
    if (modules && (modules->rows <= 2 * columns || columns == 30)) return modules;
  }
  request.columns = 0;
  return Encode(request, error);
}

}  // namespace

bool IsBarcodeCommand(const std::string& code) {
  static const char* const kCodes[] = {"BC", "B3", "BE", "BU", "B2", "BQ", "BX", "B7", "BD", "BO"};
  return std::any_of(std::begin(kCodes), std::end(kCodes),
                     [&](const char* c) { return code == c; });
}

std::optional<BarcodeField> ReadBarcodeField(const std::string& code,
                                             const std::vector<std::string>& p,
                                             const std::string& data,
                                             const BarcodeDefaults& defaults, std::string* error) {
  BarcodeField field;
  field.module = defaults.module_width;
  field.bar_height = defaults.bar_height;
  BarcodeRequest request;
  request.data = data;
  std::optional<BarcodeModules> modules;
  if (code == "BC") {
    field.bar_height = ParamInt(p, 1, defaults.bar_height, 1, 32000);
    field.line_below = ParamYesNo(p, 2, true);
    field.line_above = ParamYesNo(p, 3, false);
    Code128Request code128{data, Code128Mode::kNone, ParamYesNo(p, 4, false)};
    switch (ParamLetter(p, 5, 'N')) {
      case 'U':
        code128.mode = Code128Mode::kUccCase;
        break;
      case 'A':
        code128.mode = Code128Mode::kAutomatic;
        break;
      case 'D':
        code128.mode = Code128Mode::kUccEan;
        break;
      default:
        break;
    }
    std::optional<Code128Values> values = ReadCode128Data(code128, error);
    if (!values) return std::nullopt;
    modules = Code128SymbolModules(*values);
  } else if (code == "B3") {
    request.symbology = Symbology::kCode39;
    request.check_digit = ParamYesNo(p, 1, false);
    field.bar_height = ParamInt(p, 2, defaults.bar_height, 1, 32000);
    field.line_below = ParamYesNo(p, 3, true);
    field.line_above = ParamYesNo(p, 4, false);
    field.wide = static_cast<int>(std::lround(defaults.ratio * field.module));
  } else if (code == "BE" || code == "BU") {
    request.symbology = code == "BE" ? Symbology::kEan13 : Symbology::kUpcA;
    field.bar_height = ParamInt(p, 1, defaults.bar_height, 1, 32000);
    field.line_below = ParamYesNo(p, 2, true);
    field.line_above = ParamYesNo(p, 3, false);
    // The printer computes the check digit; a given one is replaced.
    const size_t digits = code == "BE" ? 12 : 11;
    if (request.data.size() > digits) request.data.resize(digits);
  } else if (code == "B2") {
    request.symbology = Symbology::kInterleaved2of5;
    field.bar_height = ParamInt(p, 1, defaults.bar_height, 1, 32000);
    field.line_below = ParamYesNo(p, 2, true);
    field.line_above = ParamYesNo(p, 3, false);
    request.check_digit = ParamYesNo(p, 4, false);
    field.wide = static_cast<int>(std::lround(defaults.ratio * field.module));
  } else if (code == "BQ") {
    request.symbology = Symbology::kQrCode;
    field.shape = BarcodeField::Shape::kRows;
    field.orientable = false;
    if (ParamInt(p, 1, 2, 1, 2) == 1) field.warnings.push_back("^BQ model 1 drawn as model 2");
    field.module = ParamInt(p, 2, DefaultMagnification(defaults.dots_per_mm), 1, 10);
    // The command's level: Q when empty, M when not a level.
    const char level = ParamLetter(p, 3, 'Q');
    const size_t known = std::string("LMQH").find(level);
    request.ecc = known == std::string::npos ? 2 : static_cast<int>(known) + 1;
    if (!ReadQrData(data, request, field, error)) return std::nullopt;
  } else if (code == "BX") {
    request.symbology = Symbology::kDataMatrix;
    field.shape = BarcodeField::Shape::kRows;
    field.module = ParamInt(p, 1, std::max(1, defaults.module_width * 2), 1, 100);
    if (ParamInt(p, 2, 200, 0, 200) != 200) {
      field.warnings.push_back("^BX quality levels below 200 drawn as ECC 200");
    }
    request.rectangular = ParamInt(p, 7, 1, 1, 2) == 2;
  } else if (code == "B7") {
    request.symbology = Symbology::kPdf417;
    field.shape = BarcodeField::Shape::kRows;
    request.ecc = ParamInt(p, 2, 0, 0, 8) + 1;
    request.columns = ParamInt(p, 3, 0, 0, 30);
    const int rows = ParamInt(p, 4, 0, 0, 90);
    request.rows = rows == 0 ? 0 : std::max(rows, 3);
    request.truncated = ParamYesNo(p, 5, false);
    modules = EncodePdf417(request, error);
    if (!modules) return std::nullopt;
    // The row height counts modules; without it ^BY's height is the whole
    // symbol's, shared by its rows.
    const int h = ParamInt(p, 1, 0, 0, 32000);
    field.row_height =
        h > 0 ? h * field.module
              : std::max(1, static_cast<int>(std::lround(static_cast<double>(defaults.bar_height) /
                                                         std::max(1, modules->rows))));
  } else if (code == "BD") {
    request.symbology = Symbology::kMaxiCode;
    field.shape = BarcodeField::Shape::kMaxiCode;
    request.maxicode_mode = ParamInt(p, 0, 2, 2, 6);
    ReadMaxiCodeData(data, request, field);
  } else if (code == "BO") {
    request.symbology = Symbology::kAztec;
    field.shape = BarcodeField::Shape::kRows;
    field.module = ParamInt(p, 1, DefaultMagnification(defaults.dots_per_mm), 1, 10);
    if (ParamYesNo(p, 2, false)) field.warnings.push_back("^BO data with ECIs drawn as bytes");
    const int size = ParamInt(p, 3, 0, 0, 300);
    if (size >= 1 && size <= 99) {
      // A minimum error correction percentage: the next level at or above it.
      request.ecc = size <= 10 ? 1 : size <= 23 ? 2 : size <= 36 ? 3 : 4;
      if (size > 50) request.aztec_min_ecc = size;
    } else if (size >= 101 && size <= 104) {
      request.aztec_size = size - 100;
    } else if (size >= 201 && size <= 232) {
      request.aztec_size = size - 196;
    } else if (size == 300) {
      request.aztec_rune = true;
    }
    request.reader_initialisation = ParamYesNo(p, 4, false);
    if (ParamInt(p, 5, 1, 1, 26) > 1) {
      field.warnings.push_back("^BO structured append drawn as a single symbol");
    }
  } else {
    if (error) *error = "not a barcode command";
    return std::nullopt;
  }
  if (!modules) modules = Encode(request, error);
  if (!modules) return std::nullopt;
  field.modules = std::move(*modules);
  if (field.shape == BarcodeField::Shape::kRows && field.row_height == 0) {
    field.row_height = field.module;
  }
  return field;
}

}  // namespace corvella::zpl
