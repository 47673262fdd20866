#include "tools/json_writer.h"

#include <charconv>
#include <cmath>
#include <type_traits>

#include "Runner/utf8.h"

namespace corvella {

namespace {

void AppendString(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out.push_back('"');
  size_t offset = 0;
  while (offset < text.size()) {
    std::optional<char32_t> code_point = DecodeUtf8(text, offset);
    if (!code_point) {
      out += "\xEF\xBF\xBD";  // U+FFFD for one ill-formed byte
      ++offset;
      continue;
    }
    const char32_t c = *code_point;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          AppendUtf8(out, c);
        }
    }
  }
  out.push_back('"');
}

void AppendDouble(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[64];
  auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, status == std::errc() ? end : buffer);
}

void AppendValue(std::string& out, const EncodableValue& value);

template <class Number>
void AppendNumbers(std::string& out, const std::vector<Number>& numbers) {
  out.push_back('[');
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) out.push_back(',');
    if constexpr (std::is_floating_point_v<Number>) {
      AppendDouble(out, static_cast<double>(numbers[i]));
    } else {
      out += std::to_string(numbers[i]);
    }
  }
  out.push_back(']');
}

void AppendValue(std::string& out, const EncodableValue& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out += "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          out += v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          out += std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          AppendDouble(out, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          AppendString(out, v);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          out.push_back('[');
          for (size_t i = 0; i < v.size(); ++i) {
            if (i > 0) out.push_back(',');
            AppendValue(out, v[i]);
          }
          out.push_back(']');
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          out.push_back('{');
          bool first = true;
          for (const auto& [key, item] : v) {
            if (!first) out.push_back(',');
            first = false;
            if (const auto* text = std::get_if<std::string>(&key)) {
              AppendString(out, *text);
            } else {
              AppendString(out, ToJson(key));
            }
            out.push_back(':');
            AppendValue(out, item);
          }
          out.push_back('}');
        } else {
          AppendNumbers(out, v);  // the typed lists
        }
      },
      static_cast<const EncodableVariant&>(value));
}

}  // namespace

std::string ToJson(const EncodableValue& value) {
  std::string out;
  AppendValue(out, value);
  return out;
}

std::string ToJson(const FlutterResultValue& result) {
  if (const auto* value = std::get_if<EncodableValue>(&result)) return ToJson(*value);
  if (const auto* error = std::get_if<FlutterError>(&result)) {
    std::string out = "{\"error\":{\"code\":";
    AppendString(out, error->code());
    out += ",\"message\":";
    if (error->message()) {
      AppendString(out, *error->message());
    } else {
      out += "null";
    }
    out += ",\"details\":";
    AppendValue(out, error->details());
    out += "}}";
    return out;
  }
  return "{\"notImplemented\":true}";
}

}  // namespace corvella
