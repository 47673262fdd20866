#include "Runner/argument_rule.h"

#include <algorithm>

namespace corvella {

std::optional<std::string> textArgument(const EncodableValue& arguments, std::string_view key) {
  const auto* map = std::get_if<EncodableMap>(&arguments);
  if (map == nullptr) return std::nullopt;
  bool all_text_keys = std::all_of(map->begin(), map->end(), [](const auto& entry) {
    return std::holds_alternative<std::string>(entry.first);
  });
  if (!all_text_keys) return std::nullopt;
  auto it = map->find(EncodableValue(std::string(key)));
  if (it == map->end()) return std::nullopt;
  const auto* text = std::get_if<std::string>(&it->second);
  if (text == nullptr) return std::nullopt;
  return *text;
}

}  // namespace corvella
