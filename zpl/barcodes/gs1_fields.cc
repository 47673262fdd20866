#include "zpl/barcodes/gs1_fields.h"

#include <algorithm>

namespace corvella::zpl {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// How many digits a GS1 application identifier starting with these two has.
size_t AiLength(int two) {
  if ((two >= 23 && two <= 25) || (two >= 40 && two <= 49) || two == 71) return 3;
  if ((two >= 31 && two <= 36) || two == 39 || two == 70 || two == 72 || (two >= 80 && two <= 82))
    return 4;
  return 2;
}

}  // namespace

size_t Gs1FixedDataLength(int two, size_t ai_length) {
  static constexpr struct {
    int two;
    size_t total;
  } kFixed[] = {{0, 20},  {1, 16},  {2, 16},  {3, 16},  {4, 18},  {11, 8}, {12, 8}, {13, 8},
                {14, 8},  {15, 8},  {16, 8},  {17, 8},  {18, 8},  {19, 8}, {20, 4}, {31, 10},
                {32, 10}, {33, 10}, {34, 10}, {35, 10}, {36, 10}, {41, 16}};
  for (const auto& f : kFixed) {
    if (f.two == two) return f.total - ai_length;
  }
  return 0;
}

char Gs1CheckDigit(const std::string& digits) {
  int sum = 0;
  int weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (!IsDigit(*it)) continue;
    sum += weight * (*it - '0');
    weight = 4 - weight;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::vector<Gs1Field> ReadGs1Fields(const std::string& data) {
  struct Chunk {  // a run of data between FNC1s
    std::string text;
    bool bracketed = false;
  };
  std::vector<Chunk> chunks(1);
  for (size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    const bool fnc1 = c == '\x1d' || (c == '>' && i + 1 < data.size() && data[i + 1] == '8');
    if (fnc1 && !chunks.back().text.empty()) chunks.emplace_back();
    if (c == '>' && i + 1 < data.size()) {
      ++i;
      continue;
    }
    if (c == ' ' || c == '\x1d') continue;
    if (c == '(') chunks.back().bracketed = true;
    chunks.back().text.push_back(c);
  }
  std::vector<Gs1Field> fields;
  for (const Chunk& c : chunks) {
    const std::string& chunk = c.text;
    size_t at = 0;
    while (at < chunk.size()) {
      Gs1Field field;
      if (c.bracketed) {
        const size_t open = chunk.find('(', at), close = chunk.find(')', at);
        if (open != at || close == std::string::npos) {
          // Data before the next "(", or a "(" never closed: kept as a field
          // without an identifier.
          const size_t end = open == at || open == std::string::npos ? chunk.size() : open;
          fields.push_back({"", chunk.substr(at, end - at)});
          at = end;
          continue;
        }
        field.ai = chunk.substr(open + 1, close - open - 1);
        const size_t next = chunk.find('(', close);
        field.value =
            chunk.substr(close + 1, (next == std::string::npos ? chunk.size() : next) - close - 1);
        at = next == std::string::npos ? chunk.size() : next;
      } else {
        if (chunk.size() - at < 2 || !IsDigit(chunk[at]) || !IsDigit(chunk[at + 1])) {
          fields.push_back({"", chunk.substr(at)});
          break;
        }
        const int two = (chunk[at] - '0') * 10 + (chunk[at + 1] - '0');
        const size_t ai_length = std::min(AiLength(two), chunk.size() - at);
        field.ai = chunk.substr(at, ai_length);
        at += ai_length;
        const size_t fixed = Gs1FixedDataLength(two, ai_length);
        const size_t length = fixed > 0 ? std::min(fixed, chunk.size() - at) : chunk.size() - at;
        field.value = chunk.substr(at, length);
        at += length;
      }
      fields.push_back(std::move(field));
    }
  }
  // The check digit of an SSCC (00) or GTIN (01, 02) given without it.
  for (Gs1Field& f : fields) {
    const bool digits = f.value.find_first_not_of("0123456789") == std::string::npos;
    if (digits && ((f.ai == "00" && f.value.size() == 17) ||
                   ((f.ai == "01" || f.ai == "02") && f.value.size() == 13))) {
      f.value.push_back(Gs1CheckDigit(f.value));
    }
  }
  return fields;
}

}  // namespace corvella::zpl
