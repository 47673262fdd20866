#pragma once

#include <string>
#include <string_view>

namespace corvella {

// The current user's temporary directory: $TMPDIR when it is set to an
// absolute path, else "/tmp". Read afresh on every call.
std::string TemporaryDirectory();

// `directory` and `name` joined by exactly one "/", whatever separators
// `directory` ends with: "/tmp/" and "a" give "/tmp/a", "/" and "a" give "/a".
std::string PathInDirectory(std::string_view directory, std::string_view name);

}  // namespace corvella
