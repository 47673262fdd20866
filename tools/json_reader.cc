#include "tools/json_reader.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "Runner/utf8.h"

namespace corvella {

namespace {

// Deep enough for any real argument map, shallow enough for the stack.
constexpr int kMaxDepth = 256;

class Parser {
 public:
  Parser(std::string_view text, std::string& error) : text_(text), error_(error) {}

  std::optional<EncodableValue> ParseDocument() {
    if (!IsValidUtf8(text_)) return Fail("the text is not valid UTF-8");
    SkipSpace();
    std::optional<EncodableValue> value = ParseValue(0);
    if (!value) return std::nullopt;
    SkipSpace();
    if (pos_ != text_.size()) return Fail("unexpected text after the value");
    return value;
  }

 private:
  std::nullopt_t Fail(const std::string& message) {
    if (error_.empty()) error_ = message + " at byte " + std::to_string(pos_);
    return std::nullopt;
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
      ++pos_;
    }
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<EncodableValue> ParseValue(int depth) {
    if (AtEnd()) return Fail("a value is missing");
    if (depth > kMaxDepth) return Fail("the value is nested too deeply");
    switch (Peek()) {
      case '{':
        return ParseObject(depth);
      case '[':
        return ParseArray(depth);
      case '"': {
        std::optional<std::string> text = ParseString();
        if (!text) return std::nullopt;
        return EncodableValue(std::move(*text));
      }
      case 't':
        if (Literal("true")) return EncodableValue(true);
        break;
      case 'f':
        if (Literal("false")) return EncodableValue(false);
        break;
      case 'n':
        if (Literal("null")) return EncodableValue();
        break;
      default:
        if (Peek() == '-' || (Peek() >= '0' && Peek() <= '9')) return ParseNumber();
        break;
    }
    return Fail("unexpected character");
  }

  std::optional<EncodableValue> ParseObject(int depth) {
    ++pos_;  // '{'
    EncodableMap map;
    SkipSpace();
    if (!AtEnd() && Peek() == '}') {
      ++pos_;
      return EncodableValue(std::move(map));
    }
    for (;;) {
      SkipSpace();
      if (AtEnd() || Peek() != '"') return Fail("an object key must be a string");
      const size_t key_pos = pos_;
      std::optional<std::string> key = ParseString();
      if (!key) return std::nullopt;
      SkipSpace();
      if (AtEnd() || Peek() != ':') return Fail("':' expected");
      ++pos_;
      SkipSpace();
      std::optional<EncodableValue> value = ParseValue(depth + 1);
      if (!value) return std::nullopt;
      if (!map.emplace(EncodableValue(*key), std::move(*value)).second) {
        pos_ = key_pos;
        return Fail("duplicate key \"" + *key + "\"");
      }
      SkipSpace();
      if (AtEnd()) return Fail("the object is not closed");
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == '}') {
        ++pos_;
        return EncodableValue(std::move(map));
      }
      return Fail("',' or '}' expected");
    }
  }

  std::optional<EncodableValue> ParseArray(int depth) {
    ++pos_;  // '['
    EncodableList list;
    SkipSpace();
    if (!AtEnd() && Peek() == ']') {
      ++pos_;
      return EncodableValue(std::move(list));
    }
    for (;;) {
      SkipSpace();
      std::optional<EncodableValue> value = ParseValue(depth + 1);
      if (!value) return std::nullopt;
      list.push_back(std::move(*value));
      SkipSpace();
      if (AtEnd()) return Fail("the array is not closed");
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == ']') {
        ++pos_;
        return EncodableValue(std::move(list));
      }
      return Fail("',' or ']' expected");
    }
  }

  std::optional<char32_t> ParseHex4() {
    if (text_.size() - pos_ < 4) return std::nullopt;
    char32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<char32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<char32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<char32_t>(c - 'A' + 10);
      } else {
        return std::nullopt;
      }
    }
    return value;
  }

  std::optional<std::string> ParseString() {
    ++pos_;  // '"'
    std::string out;
    for (;;) {
      if (AtEnd()) return Fail("the string is not closed");
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
      if (c != '\\') {
        out.push_back(c);
        ++pos_;
        continue;
      }
      ++pos_;
      if (AtEnd()) return Fail("the string is not closed");
      const char escape = text_[pos_++];
      switch (escape) {
        case '"':
          out.push_back('"');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '/':
          out.push_back('/');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          std::optional<char32_t> unit = ParseHex4();
          if (!unit) return Fail("\\u needs four hex digits");
          char32_t code_point = *unit;
          if (code_point >= 0xDC00 && code_point <= 0xDFFF) return Fail("a lone low surrogate");
          if (code_point >= 0xD800 && code_point <= 0xDBFF) {
            if (!Literal("\\u")) return Fail("a lone high surrogate");
            std::optional<char32_t> low = ParseHex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return Fail("a lone high surrogate");
            code_point = 0x10000 + ((code_point - 0xD800) << 10) + (*low - 0xDC00);
          }
          AppendUtf8(out, code_point);
          break;
        }
        default:
          --pos_;
          return Fail("unknown escape");
      }
    }
  }

  std::optional<EncodableValue> ParseNumber() {
    const size_t start = pos_;
    bool integral = true;
    if (Peek() == '-') ++pos_;
    if (AtEnd() || !IsDigit(Peek())) return Fail("a digit expected");
    if (Peek() == '0') {
      ++pos_;
      if (!AtEnd() && IsDigit(Peek())) return Fail("a number may not have leading zeros");
    } else {
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    if (!AtEnd() && Peek() == '.') {
      integral = false;
      ++pos_;
      if (AtEnd() || !IsDigit(Peek())) return Fail("a digit expected after '.'");
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      integral = false;
      ++pos_;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
      if (AtEnd() || !IsDigit(Peek())) return Fail("a digit expected in the exponent");
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + pos_;
    if (integral) {
      int64_t value = 0;
      auto [end, status] = std::from_chars(first, last, value);
      if (status != std::errc() || end != last) {
        pos_ = start;
        return Fail("the integer does not fit in 64 bits");
      }
      if (value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max()) {
        return EncodableValue(static_cast<int32_t>(value));
      }
      return EncodableValue(value);
    }
    double value = 0;
    auto [end, status] = std::from_chars(first, last, value);
    if (status != std::errc() || end != last || !std::isfinite(value)) {
      pos_ = start;
      return Fail("the number is out of range");
    }
    return EncodableValue(value);
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  std::string_view text_;
  std::string& error_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<EncodableValue> ParseJson(std::string_view text, std::string& error) {
  error.clear();
  return Parser(text, error).ParseDocument();
}

}  // namespace corvella
