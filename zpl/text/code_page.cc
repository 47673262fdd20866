#include "zpl/text/code_page.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
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

// The printer's national character sets, ^CI 0 to 12: code page 850 with
// the national letters in place of twelve ASCII characters, at the bytes
// 23 24 40 5B 5C 5D 5E 60 7B 7C 7D 7E (hex). Each row is those twelve
// characters, in UTF-8.
constexpr unsigned char kNationalBytes[] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D,
                                            0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
constexpr const char* kNationalSets[13][12] = {
    // 0 U.S.A. 1, 1 U.S.A. 2
    {"#", "$", "@", "[", "\\", "]", "^", "`", "{", "|", "}", "~"},
    {"#", "$", "@", "[", "\\", "]", "^", "`", "{", "|", "}", "~"},
    // 2 U.K.
    {"£", "$", "@", "[", "\\", "]", "^", "`", "{", "|", "}", "~"},
    // 3 Holland
    {"£", "$", "¾", "ĳ", "½", "|", "^", "`", "¨", "ƒ", "¼", "´"},
    // 4 Denmark/Norway
    {"#", "$", "@", "Æ", "Ø", "Å", "^", "`", "æ", "ø", "å", "~"},
    // 5 Sweden/Finland
    {"#", "¤", "É", "Ä", "Ö", "Å", "Ü", "é", "ä", "ö", "å", "ü"},
    // 6 Germany
    {"#", "$", "§", "Ä", "Ö", "Ü", "^", "`", "ä", "ö", "ü", "ß"},
    // 7 France 1
    {"£", "$", "à", "°", "ç", "§", "^", "`", "é", "ù", "è", "¨"},
    // 8 France 2
    {"#", "$", "à", "â", "ç", "ê", "î", "ô", "é", "ù", "è", "û"},
    // 9 Italy
    {"£", "$", "§", "°", "ç", "é", "^", "ù", "à", "ò", "è", "ì"},
    // 10 Spain
    {"£", "$", "§", "¡", "Ñ", "¿", "^", "`", "°", "ñ", "ç", "~"},
    // 11 Miscellaneous
    {"#", "$", "@", "[", "\\", "]", "^", "`", "{", "|", "}", "~"},
    // 12 Japan: ASCII with the yen sign
    {"#", "$", "@", "[", "¥", "]", "^", "`", "{", "|", "}", "~"},
};

// Whether a parameter is a whole decimal number (the remapping pairs).
bool IsNumber(const std::string& text) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::array<uint8_t, 256> CodePage::identity() {
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
  remap_ = identity();
  // Remapping pairs: byte s is drawn as byte d.
  for (size_t i = 1; i + 1 < params.size(); i += 2) {
    if (!IsNumber(params[i]) || !IsNumber(params[i + 1])) continue;
    const int from = std::atoi(params[i].c_str()), to = std::atoi(params[i + 1].c_str());
    if (from < 256 && to < 256) remap_[static_cast<size_t>(from)] = static_cast<uint8_t>(to);
  }
  return true;
}

std::string CodePage::decode(const std::string& bytes) const {
  std::string mapped = bytes;
  for (char& c : mapped) c = static_cast<char>(remap_[static_cast<uint8_t>(c)]);
  icu::UnicodeString text(mapped.data(), static_cast<int32_t>(mapped.size()), CharsetOf(number_));
  icu::UnicodeString shown;
  // Code page 850 has one character per byte, so character i is byte i.
  const bool national = number_ <= 12 && text.length() == static_cast<int32_t>(mapped.size());
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    const unsigned char* at =
        national ? std::find(std::begin(kNationalBytes), std::end(kNationalBytes),
                             static_cast<unsigned char>(mapped[static_cast<size_t>(i)]))
                 : std::end(kNationalBytes);
    if (at != std::end(kNationalBytes)) {
      shown.append(
          icu::UnicodeString::fromUTF8(kNationalSets[number_][at - std::begin(kNationalBytes)]));
    } else if (c >= 0x20 && c != 0x7f) {
      shown.append(c);
    }
    i += U16_LENGTH(c);
  }
  std::string utf8;
  shown.toUTF8String(utf8);
  return utf8;
}

}  // namespace corvella::zpl
