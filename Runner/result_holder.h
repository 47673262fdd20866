#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "engine/encodable_value.h"
#include "engine/method_call.h"

namespace corvella {

// Keeps the result callback of one call alive until it has been answered.
// Shared by the handler and every work item that may answer the call; the
// callback is released with the last reference. Main thread only.
class ResultHolder {
 public:
  // A map answer from text keys to boolean or text values.
  using TextMap = std::map<std::string, std::variant<bool, std::string>>;

  explicit ResultHolder(FlutterResult result) : result_(std::move(result)) {}
  ResultHolder(const ResultHolder&) = delete;
  ResultHolder& operator=(const ResultHolder&) = delete;

  void answer(FlutterResultValue value) { result_(std::move(value)); }
  void answer(bool value) { answer(FlutterResultValue(EncodableValue(value))); }
  void answer(std::string text) { answer(FlutterResultValue(EncodableValue(std::move(text)))); }
  void answer(const std::vector<std::string>& texts) {
    EncodableList list(texts.begin(), texts.end());
    answer(FlutterResultValue(EncodableValue(std::move(list))));
  }
  void answer(const TextMap& entries) {
    EncodableMap map;
    for (const auto& [key, value] : entries) {
      map.emplace(EncodableValue(key),
                  std::visit([](const auto& v) { return EncodableValue(v); }, value));
    }
    answer(FlutterResultValue(EncodableValue(std::move(map))));
  }
  void answer(FlutterError error) { answer(FlutterResultValue(std::move(error))); }
  void answerNotImplemented() { answer(FlutterResultValue(FlutterMethodNotImplemented)); }

 private:
  FlutterResult result_;
};

}  // namespace corvella
