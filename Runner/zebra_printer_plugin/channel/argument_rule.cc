#include "channel/argument_rule.h"

#include <cstring>

namespace corvella {

std::optional<std::string_view> TextArgument(FlValue* arguments, const char* key) {
  if (arguments == nullptr || fl_value_get_type(arguments) != FL_VALUE_TYPE_MAP) {
    return std::nullopt;
  }
  const size_t entries = fl_value_get_length(arguments);
  FlValue* found = nullptr;
  for (size_t i = 0; i < entries; ++i) {
    FlValue* entry_key = fl_value_get_map_key(arguments, i);
    if (fl_value_get_type(entry_key) != FL_VALUE_TYPE_STRING) return std::nullopt;
    if (found == nullptr && std::strcmp(fl_value_get_string(entry_key), key) == 0) {
      found = fl_value_get_map_value(arguments, i);
    }
  }
  if (found == nullptr || fl_value_get_type(found) != FL_VALUE_TYPE_STRING) return std::nullopt;
  return std::string_view(fl_value_get_string(found));
}

}  // namespace corvella
