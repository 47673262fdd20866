#include "zpl/document/graphic_field.h"

#include <glib.h>
#include <zlib.h>

#include <algorithm>

namespace corvella::zpl {

namespace {

// Expands the ASCII hex scheme into picture bytes.
bool ExpandHex(std::string_view data, size_t total, size_t per_row, std::vector<uint8_t>& out,
               bool& complete, std::string& reason) {
  const size_t row_nibbles = per_row * 2;
  const size_t total_nibbles = total * 2;
  std::vector<uint8_t> nibbles;
  nibbles.reserve(total_nibbles);
  size_t repeat = 0;
  auto row_start = [&] { return nibbles.size() - nibbles.size() % row_nibbles; };
  for (char c : data) {
    if (nibbles.size() >= total_nibbles) break;
    if (c == ' ' || c == '\t') continue;
    if (c >= 'G' && c <= 'Y') {
      repeat += static_cast<size_t>(c - 'G' + 1);
    } else if (c >= 'g' && c <= 'z') {
      repeat += static_cast<size_t>(c - 'g' + 1) * 20;
    } else if (int v = g_ascii_xdigit_value(c); v >= 0) {
      size_t n = std::min(std::max<size_t>(repeat, 1), total_nibbles - nibbles.size());
      nibbles.insert(nibbles.end(), n, static_cast<uint8_t>(v));
      repeat = 0;
    } else if (c == ',' || c == '!') {
      // Fills the rest of the current row; at a row start, a whole row.
      size_t fill = row_nibbles - nibbles.size() % row_nibbles;
      fill = std::min(fill, total_nibbles - nibbles.size());
      nibbles.insert(nibbles.end(), fill, c == ',' ? 0 : 15);
      repeat = 0;
    } else if (c == ':') {
      // Repeats the previous row (a row of zeros before the first row).
      size_t start = row_start();
      if (nibbles.size() != start) {
        // A row in progress is finished with zeros first.
        nibbles.insert(nibbles.end(), row_nibbles - (nibbles.size() - start), 0);
        start = nibbles.size();
      }
      size_t n = std::min(row_nibbles, total_nibbles - nibbles.size());
      for (size_t k = 0; k < n; ++k) {
        nibbles.push_back(start >= row_nibbles ? nibbles[start - row_nibbles + k] : 0);
      }
      repeat = 0;
    } else {
      reason = std::string("unexpected character '") + c + "' in graphic data";
      return false;
    }
  }
  complete = nibbles.size() >= total_nibbles;
  nibbles.resize(total_nibbles, 0);
  out.resize(total);
  for (size_t k = 0; k < total; ++k) {
    out[k] = static_cast<uint8_t>(nibbles[2 * k] << 4 | nibbles[2 * k + 1]);
  }
  return true;
}

// ":B64:data:crc" or ":Z64:data:crc".
bool ExpandBase64(std::string_view data, size_t total, std::vector<uint8_t>& out, bool& complete,
                  std::string& reason) {
  const bool deflated = data[1] == 'Z';
  std::string_view body = data.substr(5);
  if (size_t colon = body.find(':'); colon != std::string_view::npos) body = body.substr(0, colon);
  std::string text(body);
  gsize length = 0;
  guchar* decoded = g_base64_decode(text.c_str(), &length);
  std::vector<uint8_t> raw(decoded, decoded + length);
  g_free(decoded);
  if (!deflated) {
    out = std::move(raw);
  } else {
    out.assign(total, 0);
    uLongf out_length = static_cast<uLongf>(total);
    int status = uncompress(out.data(), &out_length, raw.data(), static_cast<uLong>(raw.size()));
    if (status != Z_OK && status != Z_BUF_ERROR) {
      reason = "graphic data does not inflate";
      return false;
    }
    out.resize(out_length);
  }
  complete = out.size() >= total;
  out.resize(total, 0);
  return true;
}

}  // namespace

std::optional<Bitmap> DecodeGraphicField(size_t total_bytes, size_t bytes_per_row,
                                         std::string_view data, bool binary, size_t max_bytes,
                                         std::string& reason) {
  if (bytes_per_row == 0 || total_bytes == 0) {
    reason = "graphic without size";
    return std::nullopt;
  }
  if (total_bytes > max_bytes || bytes_per_row > max_bytes / 8) {
    reason = "graphic larger than the label";
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  bool complete = true;
  const bool base64 =
      data.size() >= 5 && (data.substr(0, 5) == ":B64:" || data.substr(0, 5) == ":Z64:");
  if (binary) {
    complete = data.size() >= total_bytes;
    bytes.assign(data.begin(),
                 data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), total_bytes)));
    bytes.resize(total_bytes, 0);
  } else if (!(base64 ? ExpandBase64(data, total_bytes, bytes, complete, reason)
                      : ExpandHex(data, total_bytes, bytes_per_row, bytes, complete, reason))) {
    return std::nullopt;
  }
  Bitmap bitmap;
  bitmap.complete = complete;
  bitmap.width = static_cast<int>(bytes_per_row * 8);
  bitmap.height = static_cast<int>(total_bytes / bytes_per_row);
  bitmap.ink.resize(static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height));
  for (size_t k = 0; k < bitmap.ink.size(); ++k) {
    bitmap.ink[k] = static_cast<uint8_t>(bytes[k / 8] >> (7 - k % 8) & 1);
  }
  return bitmap;
}

}  // namespace corvella::zpl
