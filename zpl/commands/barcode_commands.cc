// The barcode commands: each reads its parameters into its struct of
// barcode_params.h; the symbol is drawn at ^FS with the field's data.
#include <string_view>

#include "zpl/commands/command_handlers.h"

namespace corvella::zpl {
namespace {

// The parameters of a linear symbol from its bar height on: height,
// interpretation line, line above.
template <typename S>
auto Height() {
  return P(&S::height, 1, 32000);
}

std::optional<BarcodeParams> ReadBarcodeParams(std::string_view code, const Params& p) {
  if (code == "BC") {
    using S = Code128Params;
    return ReadParams(p, S{}, P(&S::orientation), Height<S>(), P(&S::line), P(&S::line_above),
                      P(&S::check_digit), P(&S::mode));
  }
  if (code == "B3") {
    using S = Code39Params;
    return ReadParams(p, S{}, P(&S::orientation), P(&S::check_digit), Height<S>(), P(&S::line),
                      P(&S::line_above));
  }
  if (code == "BE" || code == "BU") {
    using S = EanUpcParams;
    S read = ReadParams(p, S{}, P(&S::orientation), Height<S>(), P(&S::line), P(&S::line_above));
    read.upc = code == "BU";
    return read;
  }
  if (code == "B2") {
    using S = Interleaved2of5Params;
    return ReadParams(p, S{}, P(&S::orientation), Height<S>(), P(&S::line), P(&S::line_above),
                      P(&S::check_digit));
  }
  if (code == "BQ") {
    using S = QrParams;
    return ReadParams(p, S{}, P(&S::orientation), P(&S::model, 1, 2), P(&S::magnification, 1, 10),
                      P(&S::level));
  }
  if (code == "BX") {
    using S = DataMatrixParams;
    return ReadParams(p, S{}, P(&S::orientation), P(&S::module, 1, 100), P(&S::quality, 0, 200),
                      Skip(), Skip(), Skip(), Skip(), P(&S::aspect, 1, 2));
  }
  if (code == "B7") {
    using S = Pdf417Params;
    return ReadParams(p, S{}, P(&S::orientation), P(&S::row_height, 0, 32000),
                      P(&S::security, 0, 8), P(&S::columns, 0, 30), P(&S::rows, 0, 90),
                      P(&S::truncated));
  }
  if (code == "BD") {
    using S = MaxiCodeParams;
    return ReadParams(p, S{}, P(&S::mode, 2, 6));
  }
  if (code == "BO") {
    using S = AztecParams;
    return ReadParams(p, S{}, P(&S::orientation), P(&S::magnification, 1, 10), P(&S::eci),
                      P(&S::size, 0, 300), P(&S::reader_initialisation), P(&S::symbols, 1, 26));
  }
  return std::nullopt;
}

}  // namespace

bool IsBarcodeCommand(const std::string& code) { return ReadBarcodeParams(code, {}).has_value(); }

void Barcode(LabelState& s, const ZplCommand& c, const Params& p) {
  std::optional<BarcodeParams> params = ReadBarcodeParams(c.code, p);
  if (!params) return;
  // The field's orientation: the command's, else ^FW's (MaxiCode has none).
  const Orientation orientation = std::visit(
      [&](const auto& read) {
        if constexpr (requires { read.orientation; }) {
          return read.orientation.value_or(s.format.default_orientation);
        }
        return s.format.default_orientation;
      },
      *params);
  s.field.barcode = PendingBarcode{c.code, std::move(*params), orientation};
}

}  // namespace corvella::zpl
