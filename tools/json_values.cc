#include "tools/json_values.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

namespace corvella {
namespace {

using Json = nlohmann::json;

// Builds the channel value as the parser reads, so that what JSON itself
// allows but a channel value cannot hold (duplicate keys, integers beyond
// 64 bits) is an error with its offset rather than silently changed.
class ValueBuilder final : public nlohmann::json_sax<Json> {
 public:
  std::optional<EncodableValue> result;
  std::string error;

  bool null() override { return put(EncodableValue()); }
  bool boolean(bool value) override { return put(EncodableValue(value)); }
  bool number_integer(number_integer_t value) override { return putInteger(value); }
  bool number_unsigned(number_unsigned_t value) override {
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      return fail("integer " + std::to_string(value) + " does not fit in 64 bits");
    }
    return putInteger(static_cast<int64_t>(value));
  }
  bool number_float(number_float_t value, const string_t& text) override {
    if (text.find_first_of(".eE") == string_t::npos) {
      return fail("integer " + text + " does not fit in 64 bits");
    }
    return put(EncodableValue(value));
  }
  bool string(string_t& value) override { return put(EncodableValue(std::move(value))); }
  bool binary(binary_t&) override { return fail("binary values are not JSON"); }
  bool start_object(std::size_t) override {
    open_.push_back({EncodableValue(EncodableMap{}), {}, {}});
    return true;
  }
  bool key(string_t& value) override {
    Open& object = open_.back();
    if (!object.keys.insert(value).second) return fail("duplicate key \"" + value + "\"");
    object.key = std::move(value);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override {
    open_.push_back({EncodableValue(EncodableList{}), {}, {}});
    return true;
  }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& reason) override {
    if (error.empty()) {
      // The library's message, without its "[json.exception...] " prefix.
      std::string what = reason.what();
      if (size_t end = what.find("] "); end != std::string::npos) what.erase(0, end + 2);
      error = what;
    }
    return false;
  }

 private:
  struct Open {
    EncodableValue value;
    std::set<std::string> keys;
    std::string key;
  };

  bool fail(std::string message) {
    error = std::move(message);
    return false;
  }
  bool putInteger(int64_t value) {
    if (value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max()) {
      return put(EncodableValue(static_cast<int32_t>(value)));
    }
    return put(EncodableValue(value));
  }
  bool put(EncodableValue value) {
    if (open_.empty()) {
      result = std::move(value);
    } else if (auto* map = std::get_if<EncodableMap>(&open_.back().value)) {
      (*map)[EncodableValue(open_.back().key)] = std::move(value);
    } else {
      std::get<EncodableList>(open_.back().value).push_back(std::move(value));
    }
    return true;
  }
  bool close() {
    EncodableValue value = std::move(open_.back().value);
    open_.pop_back();
    return put(std::move(value));
  }

  std::vector<Open> open_;
};

// Written in the order of the value's own map (and of the answer's fields).
using OrderedJson = nlohmann::ordered_json;

OrderedJson ToJsonValue(const EncodableValue& value) {
  return std::visit(
      [](const auto& v) -> OrderedJson {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          OrderedJson list = OrderedJson::array();
          for (const EncodableValue& item : v) list.push_back(ToJsonValue(item));
          return list;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          OrderedJson object = OrderedJson::object();
          for (const auto& [key, item] : v) {
            const auto* text = std::get_if<std::string>(&key);
            object[text ? *text : ToJson(key)] = ToJsonValue(item);
          }
          return object;
        } else {
          return v;  // scalars, text and the typed lists
        }
      },
      static_cast<const EncodableVariant&>(value));
}

std::string Dump(const OrderedJson& json) {
  return json.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

}  // namespace

std::optional<EncodableValue> ParseJson(std::string_view text, std::string& error) {
  ValueBuilder builder;
  const bool parsed = Json::sax_parse(text.begin(), text.end(), &builder,
                                      nlohmann::detail::input_format_t::json, true, false);
  if (!parsed || !builder.result) {
    error = builder.error.empty() ? "not JSON" : builder.error;
    return std::nullopt;
  }
  return builder.result;
}

std::string ToJson(const EncodableValue& value) { return Dump(ToJsonValue(value)); }

std::string ToJson(const FlutterResultValue& result) {
  if (const auto* value = std::get_if<EncodableValue>(&result)) return ToJson(*value);
  if (const auto* error = std::get_if<FlutterError>(&result)) {
    OrderedJson message = nullptr;
    if (error->message()) message = *error->message();
    return Dump({{"error",
                  {{"code", error->code()},
                   {"message", message},
                   {"details", ToJsonValue(error->details())}}}});
  }
  return R"({"notImplemented":true})";
}

}  // namespace corvella
