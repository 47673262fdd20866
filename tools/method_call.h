#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "tools/encodable_value.h"

// One call received on a method channel: the method name and its decoded
// arguments (null when the call carried none).
class FlutterMethodCall {
 public:
  FlutterMethodCall(std::string method, EncodableValue arguments)
      : method_(std::move(method)), arguments_(std::move(arguments)) {}

  const std::string& method() const { return method_; }
  const EncodableValue& arguments() const { return arguments_; }

 private:
  std::string method_;
  EncodableValue arguments_;
};

// An error answer: a code, an optional message and a details value.
class FlutterError {
 public:
  static FlutterError errorWithCode(std::string code, std::optional<std::string> message,
                                    EncodableValue details) {
    return FlutterError(std::move(code), std::move(message), std::move(details));
  }

  const std::string& code() const { return code_; }
  const std::optional<std::string>& message() const { return message_; }
  const EncodableValue& details() const { return details_; }

 private:
  FlutterError(std::string code, std::optional<std::string> message, EncodableValue details)
      : code_(std::move(code)), message_(std::move(message)), details_(std::move(details)) {}

  std::string code_;
  std::optional<std::string> message_;
  EncodableValue details_;
};

// The answer "this method is not implemented"; sent as an empty reply.
struct FlutterMethodNotImplementedType {
  bool operator==(const FlutterMethodNotImplementedType&) const = default;
};
inline constexpr FlutterMethodNotImplementedType FlutterMethodNotImplemented{};

// What a result callback takes: a success value, an error or not-implemented.
using FlutterResultValue =
    std::variant<EncodableValue, FlutterError, FlutterMethodNotImplementedType>;

// The result callback of one call. The channel sends the first answer given
// and ignores (and logs) any later one; a callback dropped without an answer
// sends the not-implemented reply, so every call is answered exactly once.
// Must be called on the main thread.
using FlutterResult = std::function<void(FlutterResultValue)>;
