#pragma once

#include <string>

#include "tools/encodable_value.h"
#include "tools/method_call.h"

namespace corvella {

// One line of JSON (no newline) for a channel value: null, booleans, numbers
// (doubles in their shortest exact form; NaN and infinities, which JSON
// cannot hold, as null), text (ill-formed UTF-8 shown as U+FFFD), lists and
// typed lists as arrays, maps as objects (a key that is not text is written
// as the text of its own JSON form).
std::string ToJson(const EncodableValue& value);

// The answer to a call: the success value as above;
// {"error":{"code":…,"message":…,"details":…}} for an error (a missing
// message as null); {"notImplemented":true} for not-implemented.
std::string ToJson(const FlutterResultValue& result);

}  // namespace corvella
