#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

class EncodableValue;

// A strict total order on values, so that any value can key a map: first by
// kind, then by content (doubles by IEEE total order, so NaN keys are safe).
struct EncodableValueLess {
  bool operator()(const EncodableValue& a, const EncodableValue& b) const;
};

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue, EncodableValueLess>;

using EncodableVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                 std::vector<uint8_t>, std::vector<int32_t>, std::vector<int64_t>,
                 std::vector<double>, EncodableList, EncodableMap, std::vector<float>>;

// A value that crosses a method channel: null, bool, int32, int64, double,
// UTF-8 text, the five typed lists, a list, or a map with value keys.
class EncodableValue : public EncodableVariant {
 public:
  using EncodableVariant::EncodableVariant;
  using EncodableVariant::operator=;

  EncodableValue() = default;
  // Without this a string literal would convert to bool.
  EncodableValue(const char* text) : EncodableVariant(std::string(text)) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }
};
