#pragma once

#include <flutter_linux/flutter_linux.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace corvella {

// One reference to an engine value (FlValue): C++ code keeps, copies and
// builds channel values with the engine's own type. Copies share the value.
class Value {
 public:
  Value() : value_(fl_value_new_null()) {}
  Value(bool value) : value_(fl_value_new_bool(value)) {}
  Value(int value) : value_(fl_value_new_int(value)) {}
  Value(int64_t value) : value_(fl_value_new_int(value)) {}
  Value(double value) : value_(fl_value_new_float(value)) {}
  Value(const char* text) : value_(fl_value_new_string(text)) {}
  Value(const std::string& text) : value_(fl_value_new_string_sized(text.data(), text.size())) {}
  Value(const std::vector<uint8_t>& bytes)
      : value_(fl_value_new_uint8_list(bytes.data(), bytes.size())) {}
  // Takes the reference that `value` carries (transfer full).
  static Value take(FlValue* value) { return Value(value, 0); }

  Value(const Value& other) : value_(fl_value_ref(other.value_)) {}
  Value(Value&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Value& operator=(Value other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  ~Value() {
    if (value_ != nullptr) fl_value_unref(value_);
  }

  FlValue* get() const { return value_; }

 private:
  Value(FlValue* value, int) : value_(value) {}
  FlValue* value_;
};

// A list, and a map with its entries in the order given.
Value ListValue(std::initializer_list<Value> items);
Value MapValue(std::initializer_list<std::pair<Value, Value>> entries);

// A method call as the user interface sends it, in the standard method codec:
// the name, then the arguments (null when there are none).
std::vector<uint8_t> EncodeMethodCall(const std::string& method, FlValue* arguments);

// The answer that a reply carries (an envelope, or no bytes for
// not-implemented); nullptr when the bytes are not a reply.
// Returns: (transfer full).
FlMethodResponse* DecodeReply(const std::vector<uint8_t>& reply);
// The reply that carries `response` (no bytes for not-implemented).
std::vector<uint8_t> EncodeReply(FlMethodResponse* response);

}  // namespace corvella
