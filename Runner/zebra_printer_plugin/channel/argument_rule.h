#pragma once

#include <flutter_linux/flutter_linux.h>

#include <optional>
#include <string_view>

namespace corvella {

// The one way the plug-in reads an argument: the call must carry a map whose
// keys are all text, the map must hold `key`, and its value must be text.
// Returns that text unchanged (not trimmed; empty text is usable), or nothing
// when any of the four conditions fails. The view points into `arguments`
// and is valid as long as they are.
std::optional<std::string_view> TextArgument(FlValue* arguments, const char* key);

}  // namespace corvella
