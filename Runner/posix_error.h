#pragma once

#include <string>

namespace corvella {

// The text of a POSIX error number ("No such file or directory"), safe to
// call from any thread.
std::string PosixErrorText(int error);

}  // namespace corvella
