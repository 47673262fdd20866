#include "tools/json_values.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
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
  std::optional<Value> result;
  std::string reason;

  bool null() override { return put(Value()); }
  bool boolean(bool value) override { return put(Value(value)); }
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
    return put(Value(value));
  }
  bool string(string_t& value) override { return put(Value(value)); }
  bool binary(binary_t&) override { return fail("binary values are not JSON"); }
  bool start_object(std::size_t) override {
    open_.push_back({Value::take(fl_value_new_map()), {}, {}});
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
    open_.push_back({Value::take(fl_value_new_list()), {}, {}});
    return true;
  }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& failure) override {
    if (reason.empty()) {
      // The library's message, without its "[json.exception...] " prefix.
      std::string what = failure.what();
      if (size_t end = what.find("] "); end != std::string::npos) what.erase(0, end + 2);
      reason = what;
    }
    return false;
  }

 private:
  struct Open {
    Value value;
    std::set<std::string> keys;
    std::string key;
  };

  bool fail(std::string message) {
    reason = std::move(message);
    return false;
  }
  bool putInteger(int64_t value) { return put(Value(value)); }
  bool put(const Value& value) {
    if (open_.empty()) {
      result = value;
    } else if (FlValue* open = open_.back().value.get();
               fl_value_get_type(open) == FL_VALUE_TYPE_MAP) {
      fl_value_set_string(open, open_.back().key.c_str(), value.get());
    } else {
      fl_value_append(open, value.get());
    }
    return true;
  }
  bool close() {
    Value value = std::move(open_.back().value);
    open_.pop_back();
    return put(std::move(value));
  }

  std::vector<Open> open_;
};

// Written in the order of the value's own map (and of the answer's fields).
using OrderedJson = nlohmann::ordered_json;

template <typename T>
OrderedJson Array(const T* items, size_t count) {
  OrderedJson list = OrderedJson::array();
  for (size_t i = 0; i < count; ++i) list.push_back(items[i]);
  return list;
}

OrderedJson ToJsonValue(FlValue* value) {
  const FlValueType type = fl_value_get_type(value);
  // Only lists, maps and typed lists have a length.
  const bool scalar = type == FL_VALUE_TYPE_NULL || type == FL_VALUE_TYPE_BOOL ||
                      type == FL_VALUE_TYPE_INT || type == FL_VALUE_TYPE_FLOAT ||
                      type == FL_VALUE_TYPE_STRING;
  const size_t length = scalar ? size_t{0} : fl_value_get_length(value);
  switch (type) {
    case FL_VALUE_TYPE_NULL:
      return nullptr;
    case FL_VALUE_TYPE_BOOL:
      return static_cast<bool>(fl_value_get_bool(value));
    case FL_VALUE_TYPE_INT:
      return fl_value_get_int(value);
    case FL_VALUE_TYPE_FLOAT:
      return fl_value_get_float(value);
    case FL_VALUE_TYPE_STRING:
      return std::string(fl_value_get_string(value));
    case FL_VALUE_TYPE_UINT8_LIST:
      return Array(fl_value_get_uint8_list(value), length);
    case FL_VALUE_TYPE_INT32_LIST:
      return Array(fl_value_get_int32_list(value), length);
    case FL_VALUE_TYPE_INT64_LIST:
      return Array(fl_value_get_int64_list(value), length);
    case FL_VALUE_TYPE_FLOAT32_LIST:
      return Array(fl_value_get_float32_list(value), length);
    case FL_VALUE_TYPE_FLOAT_LIST:
      return Array(fl_value_get_float_list(value), length);
    case FL_VALUE_TYPE_LIST: {
      OrderedJson list = OrderedJson::array();
      for (size_t i = 0; i < length; ++i)
        list.push_back(ToJsonValue(fl_value_get_list_value(value, i)));
      return list;
    }
    case FL_VALUE_TYPE_MAP: {
      OrderedJson object = OrderedJson::object();
      for (size_t i = 0; i < length; ++i) {
        FlValue* key = fl_value_get_map_key(value, i);
        const std::string name = fl_value_get_type(key) == FL_VALUE_TYPE_STRING
                                     ? std::string(fl_value_get_string(key))
                                     : ToJson(key);
        object[name] = ToJsonValue(fl_value_get_map_value(value, i));
      }
      return object;
    }
  }
  return nullptr;
}

std::string Dump(const OrderedJson& json) {
  return json.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

}  // namespace

std::optional<Value> ParseJson(std::string_view text, std::string& reason) {
  ValueBuilder builder;
  const bool parsed = Json::sax_parse(text.begin(), text.end(), &builder,
                                      nlohmann::detail::input_format_t::json, true, false);
  if (!parsed || !builder.result) {
    reason = builder.reason.empty() ? "not JSON" : builder.reason;
    return std::nullopt;
  }
  return builder.result;
}

std::string ToJson(FlValue* value) { return Dump(ToJsonValue(value)); }

std::string ToJson(FlMethodResponse* response) {
  if (FL_IS_METHOD_SUCCESS_RESPONSE(response)) {
    return ToJson(fl_method_success_response_get_result(FL_METHOD_SUCCESS_RESPONSE(response)));
  }
  if (FL_IS_METHOD_ERROR_RESPONSE(response)) {
    FlMethodErrorResponse* error = FL_METHOD_ERROR_RESPONSE(response);
    const gchar* message = fl_method_error_response_get_message(error);
    FlValue* details = fl_method_error_response_get_details(error);
    return Dump(
        {{"error",
          {{"code", fl_method_error_response_get_code(error)},
           {"message", message != nullptr ? OrderedJson(message) : OrderedJson(nullptr)},
           {"details", details != nullptr ? ToJsonValue(details) : OrderedJson(nullptr)}}}});
  }
  return R"({"notImplemented":true})";
}

}  // namespace corvella
