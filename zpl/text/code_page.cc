#include "zpl/text/code_page.h"

#include <unicode/unistr.h>

#include <cstdlib>
#include <numeric>

namespace corvella::zpl {
namespace {

// The encodings a printer knows by ^CI number, as ICU names them. 0 to 12
// are code page 850 with national letters in place of some ASCII
// punctuation; 13 is code page 850 itself.
const char* CharsetOf(int number) {
  if (number >= 0 && number <= 13) return "ibm-850";
  switch (number) {
    case 15:
      return "Shift_JIS";
    case 16:
      return "EUC-JP";
    case 27:
      return "windows-1252";
    case 28:
      return "UTF-8";
    case 29:
      return "UTF-16BE";
    case 30:
      return "UTF-16LE";
    case 31:
      return "windows-1253";
    case 32:
      return "windows-1254";
    case 33:
      return "windows-1255";
    case 34:
      return "windows-1256";
    case 35:
      return "windows-1257";
    case 36:
      return "windows-1250";
  }
  return nullptr;
}

// Whether a parameter is a whole decimal number (the remapping pairs).
bool IsNumber(const std::string& text) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::array<uint8_t, 256> CodePage::Identity() {
  std::array<uint8_t, 256> table{};
  std::iota(table.begin(), table.end(), uint8_t{0});
  return table;
}

bool CodePage::select(const std::vector<std::string>& params, std::string& warning) {
  warning.clear();
  const std::string text = params.empty() ? "0" : params[0];
  const int number = IsNumber(text) ? std::atoi(text.c_str()) : -1;
  if (!CharsetOf(number)) {
    warning = "^CI" + text + " is not a code page this renderer knows: code page " +
              std::to_string(number_) + " stays";
    return false;
  }
  number_ = number;
  remap_ = Identity();
  // Remapping pairs: byte s is drawn as byte d.
  for (size_t i = 1; i + 1 < params.size(); i += 2) {
    if (!IsNumber(params[i]) || !IsNumber(params[i + 1])) continue;
    const int from = std::atoi(params[i].c_str()), to = std::atoi(params[i + 1].c_str());
    if (from < 256 && to < 256) remap_[static_cast<size_t>(from)] = static_cast<uint8_t>(to);
  }
  if (number >= 1 && number <= 12) {
    warning = "^CI" + text + " drawn as code page 850 (its national letters are not)";
  }
  return true;
}

std::string CodePage::decode(const std::string& bytes) const {
  std::string mapped = bytes;
  for (char& c : mapped) c = static_cast<char>(remap_[static_cast<uint8_t>(c)]);
  icu::UnicodeString text(mapped.data(), static_cast<int32_t>(mapped.size()), CharsetOf(number_));
  icu::UnicodeString shown;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    if (c >= 0x20 && c != 0x7f) shown.append(c);
    i += U16_LENGTH(c);
  }
  std::string utf8;
  shown.toUTF8String(utf8);
  return utf8;
}

}  // namespace corvella::zpl
