#pragma once

#include <string_view>

namespace corvella {

// Writes all of `bytes` to the blocking descriptor `fd`, across short
// writes and interrupted calls: the one write-everything loop of the tree.
// False, with errno set, when a write fails; a pipe or socket without a
// reader (EPIPE) and a file past the size limit (EFBIG) fail as any write
// does, without a signal to the process.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace corvella
