#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace corvella::testing {

// The whole content of a file, or std::nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);

// Replaces `path` with `contents` (written to a temporary name, then renamed),
// with `mode`. Returns false on failure.
bool WriteFile(const std::string& path, const std::string& contents, mode_t mode = 0644);

// Removes a file or a directory tree without following symbolic links. A
// missing path counts as removed.
bool RemoveTree(const std::string& path);

}  // namespace corvella::testing
