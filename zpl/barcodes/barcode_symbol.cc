#include "zpl/barcodes/barcode_symbol.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <zint.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace corvella::zpl {
namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

int ZintSymbology(const BarcodeRequest& request) {
  switch (request.symbology) {
    case Symbology::kCode128:
      return BARCODE_CODE128;
    case Symbology::kCode39:
      return BARCODE_CODE39;
    case Symbology::kEan13:
      return BARCODE_EANX;
    case Symbology::kUpcA:
      return BARCODE_UPCA;
    case Symbology::kInterleaved2of5:
      return BARCODE_C25INTER;
    case Symbology::kQrCode:
      return BARCODE_QRCODE;
    case Symbology::kDataMatrix:
      return BARCODE_DATAMATRIX;
    case Symbology::kPdf417:
      return BARCODE_PDF417;
    case Symbology::kMaxiCode:
      return BARCODE_MAXICODE;
    case Symbology::kAztec:
      return request.aztec_rune ? BARCODE_AZRUNE : BARCODE_AZTEC;
  }
  return BARCODE_CODE128;
}

// An Aztec symbol size (libzint's option_2: 1-4 compact, 5-36 full range
// with 1-32 layers), the bits its layers hold and the bits per codeword.
struct AztecSize {
  int option;
  int bits;
  int codeword_bits;
};

std::vector<AztecSize> AztecSizesBySpace() {
  std::vector<AztecSize> sizes;
  for (int option = 1; option <= 36; ++option) {
    const bool compact = option <= 4;
    const int layers = compact ? option : option - 4;
    const int codeword_bits = layers <= 2 ? 6 : layers <= 8 ? 8 : layers <= 22 ? 10 : 12;
    sizes.push_back({option, ((compact ? 88 : 112) + 16 * layers) * layers, codeword_bits});
  }
  std::stable_sort(sizes.begin(), sizes.end(),
                   [](const AztecSize& a, const AztecSize& b) { return a.bits < b.bits; });
  return sizes;
}

// A QR code of `request.data` in one mode: numeric, alphanumeric or bytes,
// whichever holds every character (ZXing's encoder chooses so), at the
// request's level, the smallest version and the mask of least penalty.
std::optional<BarcodeModules> EncodeQrInOneMode(const BarcodeRequest& request,
                                                std::string& reason) {
  // Each byte one character, so that bytes go out as themselves (ISO 8859-1,
  // the default that needs no ECI).
  std::wstring data;
  for (const char byte : request.data) {
    data.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  }
  try {
    // ZXing's levels 0-8 pair up: 1 L, 3 M, 5 Q, 7 H.
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                        .setEccLevel(2 * std::clamp(request.ecc, 1, 4) - 1)
                                        .setMargin(0)
                                        .encode(data, 0, 0);
    BarcodeModules modules;
    modules.rows = matrix.height();
    modules.columns = matrix.width();
    modules.dark.reserve(static_cast<size_t>(modules.rows) * static_cast<size_t>(modules.columns));
    for (int r = 0; r < modules.rows; ++r) {
      for (int c = 0; c < modules.columns; ++c) modules.dark.push_back(matrix.get(c, r) ? 1 : 0);
    }
    return modules;
  } catch (const std::exception& e) {  // ZXing reports data it cannot encode so
    reason = e.what();
    return std::nullopt;
  }
}

}  // namespace

std::optional<BarcodeModules> EncodeBarcode(const BarcodeRequest& request, std::string& reason) {
  if (request.symbology == Symbology::kAztec && request.aztec_min_ecc > 0 &&
      request.aztec_size == 0) {
    // The smallest symbol whose error correction is at least the
    // percentage of its codewords, 3 codewords more (libzint's rule for its
    // own levels, which end at 50%). The data's length in bits lies between
    // the symbol it does not fit and the next one it fits; the middle is
    // taken.
    const std::vector<AztecSize> sizes = AztecSizesBySpace();
    BarcodeRequest sized = request;
    std::string ignored;
    size_t first_fit = 0;
    for (; first_fit < sizes.size(); ++first_fit) {
      sized.aztec_size = sizes[first_fit].option;
      if (EncodeBarcode(sized, ignored)) break;
    }
    if (first_fit == sizes.size()) return EncodeBarcode(sized, reason);
    const int data_bits =
        (sizes[first_fit].bits + (first_fit > 0 ? sizes[first_fit - 1].bits : 0)) / 2;
    for (size_t k = first_fit; k < sizes.size(); ++k) {
      const int codewords = sizes[k].bits / sizes[k].codeword_bits;
      const int data = (data_bits + sizes[k].codeword_bits - 1) / sizes[k].codeword_bits + 3;
      if ((codewords - data) * 100 < request.aztec_min_ecc * codewords) continue;
      sized.aztec_size = sizes[k].option;
      if (auto modules = EncodeBarcode(sized, ignored)) return modules;
    }
    sized.aztec_size = sizes.back().option;
    return EncodeBarcode(sized, reason);
  }
  if (request.symbology == Symbology::kQrCode && request.one_mode && request.append_count <= 1) {
    return EncodeQrInOneMode(request, reason);
  }
  std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
  if (!symbol) {
    reason = "out of memory";
    return std::nullopt;
  }
  symbol->symbology = ZintSymbology(request);
  symbol->input_mode = DATA_MODE;
  switch (request.symbology) {
    case Symbology::kCode39:
    case Symbology::kInterleaved2of5:
      symbol->option_2 = request.check_digit ? 1 : 0;
      break;
    case Symbology::kQrCode:
      symbol->option_1 = request.ecc;
      break;
    case Symbology::kPdf417:
      symbol->option_1 = request.ecc > 0 ? request.ecc - 1 : -1;
      symbol->option_2 = request.columns;
      symbol->option_3 = request.rows;
      if (request.truncated) symbol->symbology = BARCODE_PDF417COMP;
      break;
    case Symbology::kAztec:
      symbol->option_1 = request.aztec_size > 0 ? -1 : request.ecc > 0 ? request.ecc : -1;
      symbol->option_2 = request.aztec_size;
      if (request.reader_initialisation) symbol->output_options |= READER_INIT;
      break;
    case Symbology::kDataMatrix:
      symbol->option_2 = request.columns;
      if (!request.rectangular) symbol->option_3 = DM_SQUARE;
      break;
    case Symbology::kMaxiCode:
      symbol->option_1 = request.maxicode_mode;
      if (!request.primary.empty()) {
        std::strncpy(symbol->primary, request.primary.c_str(), sizeof(symbol->primary) - 1);
      }
      break;
    default:
      break;
  }
  if (request.append_count > 1 && request.append_index >= 1 &&
      request.append_index <= request.append_count) {
    symbol->structapp.index = request.append_index;
    symbol->structapp.count = request.append_count;
    std::strncpy(symbol->structapp.id, request.append_id.c_str(), sizeof(symbol->structapp.id) - 1);
  }
  const int status =
      ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(request.data.data()),
                      static_cast<int>(request.data.size()));
  if (status >= ZINT_ERROR) {
    reason = symbol->errtxt;
    return std::nullopt;
  }
  BarcodeModules modules;
  modules.rows = symbol->rows;
  modules.columns = symbol->width;
  if (modules.rows <= 0 || modules.columns <= 0) {
    reason = "empty symbol";
    return std::nullopt;
  }
  modules.dark.resize(static_cast<size_t>(modules.rows) * static_cast<size_t>(modules.columns));
  for (int r = 0; r < modules.rows; ++r) {
    for (int c = 0; c < modules.columns; ++c) {
      // libzint keeps each row as a bit string, the first module in the
      // lowest bit of the first byte.
      const unsigned bits = symbol->encoded_data[r][c >> 3];
      modules.dark[static_cast<size_t>(r) * static_cast<size_t>(modules.columns) +
                   static_cast<size_t>(c)] = static_cast<uint8_t>(bits >> (c & 7) & 1);
    }
  }
  modules.readable = reinterpret_cast<const char*>(symbol->text);
  return modules;
}

}  // namespace corvella::zpl
