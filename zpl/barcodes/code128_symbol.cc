#include "zpl/barcodes/code128_symbol.h"

#include <iterator>

#include "zpl/barcodes/gs1_fields.h"

namespace corvella::zpl {
namespace {

// Bar and space widths, in modules, of each symbol value (three bars and
// three spaces, a bar first), and last the stop pattern.
constexpr const char* kPatterns[] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312",  "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122",  "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123",  "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",  "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311",  "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411",  "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412",  "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",  "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211",  "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113",  "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

// The symbol values. Those below kCharacterValues are the characters of
// subsets A and B (and pairs 00 to 95 in C); from there on, a value means what
// its name says in A and B, and only CODE A, CODE B and FNC1 keep their
// meaning in C (where 96 to 99 are pairs).
constexpr int kCharacterValues = 96;
constexpr int kFirstControlValue = 64;  // subset A: NUL to US are values 64 to 95
constexpr int kFnc3 = 96;
constexpr int kFnc2 = 97;
constexpr int kShift = 98;  // the next character in the other of subsets A and B
constexpr int kCodeC = 99;
constexpr int kCodeB = 100;  // FNC4 in subset B
constexpr int kCodeA = 101;  // FNC4 in subset A
constexpr int kFnc1 = 102;
constexpr int kStartA = 103;
constexpr int kStartB = 104;
constexpr int kStartC = 105;
constexpr int kStop = 106;
constexpr int kCheckModulus = 103;
static_assert(std::size(kPatterns) == kStop + 1);

// In automatic encoding, FNC1 stands among the data bytes as this.
constexpr int kFnc1Element = -1;
// In automatic encoding, this many digits in a row or more go to subset C.
constexpr size_t kDigitsForSubsetC = 4;

enum class Subset { kA, kB, kC };

int StartValue(Subset subset) {
  return subset == Subset::kA ? kStartA : subset == Subset::kB ? kStartB : kStartC;
}

int SwitchValue(Subset to) {
  return to == Subset::kA ? kCodeA : to == Subset::kB ? kCodeB : kCodeC;
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Subset A holds the 7-bit characters NUL to '_' (controls and upper case),
// subset B ' ' to DEL. The value of such a character in its subset, and the
// character of a value below kCharacterValues.
bool Fits(Subset subset, int c) { return subset == Subset::kA ? c <= '_' : c >= ' ' && c <= 0x7f; }
int ValueIn(Subset subset, int c) {
  return subset == Subset::kA && c < ' ' ? c + kFirstControlValue : c - ' ';
}
int CharacterOf(Subset subset, int value) {
  return subset == Subset::kA && value >= kFirstControlValue ? value - kFirstControlValue
                                                             : value + ' ';
}

void AppendShown(std::string& readable, int c) {
  if (c >= ' ' && c < 0x7f) readable.push_back(static_cast<char>(c));
}

// Mode N. The data is read as the printer's table of invocation codes says:
// ">9", ">:" and ">;" at the start choose subset A, B or C (B when none
// does); in subsets A and C the data is pairs of digits, each pair one symbol
// value, a non-digit opening a pair is ignored, one closing a pair drops the
// pair, and an unpaired digit before an invocation code is dropped.
Code128Values ReadNoneMode(const std::string& data) {
  Code128Values out;
  Subset subset = Subset::kB;
  size_t i = 0;
  if (data.size() >= 2 && data[0] == '>' && data[1] >= '9' && data[1] <= ';') {
    subset = static_cast<Subset>(data[1] - '9');
    i = 2;
  }
  out.values.push_back(StartValue(subset));
  int pending = -1;      // the first digit of a pair in subsets A and C
  bool shifted = false;  // the next character is read in the other of A and B
  auto push = [&out](int value) { out.values.push_back(value); };
  while (i < data.size()) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (c == '>' && i + 1 < data.size()) {
      const char code = data[i + 1];
      i += 2;
      pending = -1;
      const bool in_c = subset == Subset::kC;
      switch (code) {
        case '<':
        case '0':  // '>' itself
          if (!in_c) {
            push(ValueIn(subset, '>'));
            out.readable.push_back('>');
          }
          break;
        case '=':  // '~' in subset B
          if (!in_c) push(ValueIn(Subset::kB, '~'));
          if (subset == Subset::kB) out.readable.push_back('~');
          break;
        case '1':  // DEL in subset B, US in subset A
          if (!in_c) push(ValueIn(subset, subset == Subset::kB ? 0x7f : 0x1f));
          break;
        case '2':
          if (!in_c) push(kFnc3);
          break;
        case '3':
          if (!in_c) push(kFnc2);
          break;
        case '4':
          if (!in_c) {
            push(kShift);
            shifted = true;
          }
          break;
        case '5':
          if (!in_c) {
            push(kCodeC);
            subset = Subset::kC;
          }
          break;
        case '6':  // FNC 4 in subset B, otherwise CODE B
          push(kCodeB);
          subset = Subset::kB;
          break;
        case '7':  // FNC 4 in subset A, otherwise CODE A
          push(kCodeA);
          subset = Subset::kA;
          break;
        case '8':
          push(kFnc1);
          break;
        case '9':
        case ':':
        case ';': {  // a start code inside the data changes to its subset
          const auto to = static_cast<Subset>(code - '9');
          if (to != subset) {
            push(SwitchValue(to));
            subset = to;
          }
          break;
        }
        default:  // not an invocation code: both characters are dropped
          break;
      }
      continue;
    }
    ++i;
    if (shifted && subset != Subset::kC) {
      shifted = false;
      const Subset other = subset == Subset::kA ? Subset::kB : Subset::kA;
      if (Fits(other, c)) {
        push(ValueIn(other, c));
        AppendShown(out.readable, c);
      }
      continue;
    }
    if (subset == Subset::kB) {
      // Bytes outside subset B cannot be drawn in it and are left out.
      if (Fits(Subset::kB, c)) {
        push(ValueIn(Subset::kB, c));
        AppendShown(out.readable, c);
      }
      continue;
    }
    if (pending < 0) {
      if (IsDigit(c)) pending = c - '0';
      continue;
    }
    if (!IsDigit(c)) {
      pending = -1;
      continue;
    }
    const int pair = pending * 10 + (c - '0');
    pending = -1;
    if (subset == Subset::kC) {
      push(pair);
      out.readable.push_back(static_cast<char>('0' + pair / 10));
      out.readable.push_back(static_cast<char>('0' + pair % 10));
    } else if (pair < kCharacterValues) {
      push(pair);
      AppendShown(out.readable, CharacterOf(Subset::kA, pair));
    }
  }
  return out;
}

size_t DigitRun(const std::vector<int>& e, size_t at) {
  size_t n = 0;
  while (at + n < e.size() && IsDigit(e[at + n])) ++n;
  return n;
}

// Subset A when a control character comes before any lower-case one.
Subset AOrB(const std::vector<int>& e, size_t at) {
  for (size_t k = at; k < e.size(); ++k) {
    if (e[k] == kFnc1Element) continue;
    const int c = e[k] & 0x7f;
    if (c < ' ') return Subset::kA;
    if (c > '_') return Subset::kB;
  }
  return Subset::kB;
}

// The printer's own choice of subsets for data bytes and FNC1s: the
// shortest symbol by the usual rules. Subset C for runs of four or more
// digits (an odd run leaves its first digit in A or B) and for data of just
// two digits; a single character outside the current subset of A and B is
// shifted, more are switched to.
std::vector<int> EncodeAutomatic(const std::vector<int>& e) {
  std::vector<int> values;
  size_t lead = 0;
  while (lead < e.size() && e[lead] == kFnc1Element) ++lead;
  const size_t first_run = DigitRun(e, lead);
  Subset subset = first_run >= kDigitsForSubsetC || (first_run == 2 && lead + 2 == e.size())
                      ? Subset::kC
                      : AOrB(e, 0);
  values.push_back(StartValue(subset));
  for (size_t i = 0; i < e.size();) {
    const int v = e[i];
    if (v == kFnc1Element) {
      values.push_back(kFnc1);
      ++i;
      continue;
    }
    if (subset == Subset::kC) {
      if (i + 1 < e.size() && IsDigit(v) && IsDigit(e[i + 1])) {
        values.push_back((v - '0') * 10 + (e[i + 1] - '0'));
        i += 2;
      } else {
        subset = AOrB(e, i);
        values.push_back(SwitchValue(subset));
      }
      continue;
    }
    const size_t run = DigitRun(e, i);
    if (run >= kDigitsForSubsetC) {
      if (run % 2 != 0) {
        values.push_back(ValueIn(subset, v));
        ++i;
      }
      values.push_back(kCodeC);
      subset = Subset::kC;
      continue;
    }
    const int low = v & 0x7f;
    const bool extended = v > 0x7f;
    if (!Fits(subset, low)) {
      const Subset other = subset == Subset::kA ? Subset::kB : Subset::kA;
      const bool next_fits = i + 1 < e.size() && e[i + 1] != kFnc1Element &&
                             Fits(subset, e[i + 1] & 0x7f) && !IsDigit(e[i + 1]);
      if (next_fits && !extended) {
        values.push_back(kShift);
        values.push_back(ValueIn(other, low));
        ++i;
      } else {
        subset = other;
        values.push_back(SwitchValue(subset));
      }
      continue;
    }
    if (extended) values.push_back(subset == Subset::kA ? kCodeA : kCodeB);  // FNC 4
    values.push_back(ValueIn(subset, low));
    ++i;
  }
  return values;
}

// Mode A: every byte of the data is data, '>' and the character after it
// included, and the printer chooses the subsets. Only ">8" still stands for
// FNC1, the way GS1 application identifiers are chained in this mode.
std::vector<int> AutomaticElements(const std::string& data, std::string& readable) {
  std::vector<int> e;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '>' && i + 1 < data.size() && data[i + 1] == '8') {
      e.push_back(kFnc1Element);
      ++i;
      continue;
    }
    const int c = static_cast<unsigned char>(data[i]);
    e.push_back(c);
    AppendShown(readable, c);
  }
  return e;
}

// Digits of the data outside invocation codes.
std::string DataDigits(const std::string& data) {
  std::string digits;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '>' && i + 1 < data.size()) {
      ++i;
    } else if (IsDigit(data[i])) {
      digits.push_back(data[i]);
    }
  }
  return digits;
}

}  // namespace

std::optional<Code128Values> ReadCode128Data(const Code128Request& request, std::string& reason) {
  Code128Values out;
  switch (request.mode) {
    case Code128Mode::kNone: {
      std::string data = request.data;
      if (request.ucc_check_digit) data.push_back(Gs1CheckDigit(DataDigits(data)));
      out = ReadNoneMode(data);
      break;
    }
    case Code128Mode::kAutomatic: {
      std::vector<int> e = AutomaticElements(request.data, out.readable);
      if (request.ucc_check_digit) {
        std::string digits;
        for (int c : e) {
          if (IsDigit(c)) digits.push_back(static_cast<char>(c));
        }
        e.push_back(Gs1CheckDigit(digits));
        out.readable.push_back(static_cast<char>(e.back()));
      }
      out.values = EncodeAutomatic(e);
      break;
    }
    case Code128Mode::kUccCase: {
      std::string digits = DataDigits(request.data).substr(0, 19);
      digits.resize(19, '0');
      digits.push_back(Gs1CheckDigit(digits));
      std::vector<int> e = {kFnc1Element};
      e.insert(e.end(), digits.begin(), digits.end());
      out.values = EncodeAutomatic(e);
      out.readable = "(" + digits.substr(0, 2) + ") " + digits.substr(2, 1) + " " +
                     digits.substr(3, 7) + " " + digits.substr(10, 9) + " " + digits.substr(19);
      break;
    }
    case Code128Mode::kUccEan: {
      const std::vector<Gs1Field> fields = ReadGs1Fields(request.data);
      std::vector<int> e = {kFnc1Element};
      for (size_t k = 0; k < fields.size(); ++k) {
        const Gs1Field& f = fields[k];
        e.insert(e.end(), f.ai.begin(), f.ai.end());
        for (char c : f.value) e.push_back(static_cast<unsigned char>(c));
        if (!f.ai.empty()) out.readable += "(" + f.ai + ")";
        out.readable += f.value;
        // Data of variable length ends with FNC1 unless it ends the symbol.
        const int two = f.ai.size() >= 2 ? (f.ai[0] - '0') * 10 + (f.ai[1] - '0') : -1;
        if (k + 1 < fields.size() && Gs1FixedDataLength(two, f.ai.size()) == 0) {
          e.push_back(kFnc1Element);
        }
      }
      if (e.size() > 1) out.values = EncodeAutomatic(e);
      break;
    }
  }
  if (out.values.size() < 2) {
    reason = "no character of the field data can be encoded";
    return std::nullopt;
  }
  return out;
}

BarcodeModules Code128SymbolModules(const Code128Values& values) {
  std::vector<int> all = values.values;
  int check = all.empty() ? 0 : all[0];
  for (size_t k = 1; k < all.size(); ++k) check += static_cast<int>(k) * all[k];
  all.push_back(check % kCheckModulus);
  all.push_back(kStop);
  BarcodeModules modules;
  modules.rows = 1;
  for (int value : all) {
    bool dark = true;
    for (const char* w = kPatterns[value]; *w != '\0'; ++w) {
      modules.dark.insert(modules.dark.end(), static_cast<size_t>(*w - '0'), dark ? 1 : 0);
      dark = !dark;
    }
  }
  modules.columns = static_cast<int>(modules.dark.size());
  modules.readable = values.readable;
  return modules;
}

}  // namespace corvella::zpl
