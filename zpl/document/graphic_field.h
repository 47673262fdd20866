#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::zpl {

// A one-bit picture, one byte per dot (1 = ink), row by row.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> ink;
  bool complete = true;  // false when the data ended before the picture did
};

// Decodes the data of a ^GF (or ~DG) graphic: `total_bytes` bytes of
// picture, `bytes_per_row` bytes per row, the most significant bit of each
// byte leftmost. `data` is ASCII hex with the ZPL compression (repeat counts
// G-Y and g-z, ',' ends a row with zeros, '!' with ones, ':' repeats the
// previous row), or ":B64:" / ":Z64:" base64 (the latter deflated) with its
// CRC. Data that ends early leaves the remaining dots without ink; anything
// the scheme does not allow is an error, with the reason. With `binary`
// the data is the picture's bytes as they are (^GFB). `max_bytes` caps the
// picture so a document cannot ask for more memory than a label can show.
std::optional<Bitmap> DecodeGraphicField(size_t total_bytes, size_t bytes_per_row,
                                         std::string_view data, bool binary, size_t max_bytes,
                                         std::string& reason);

}  // namespace corvella::zpl
