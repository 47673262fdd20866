#include "process/write_all.h"

#include <unistd.h>

#include <cerrno>

#include "process/write_signal_guard.h"

namespace corvella {

bool WriteAll(int fd, std::string_view bytes) {
  const WriteSignalGuard guard;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n == 0) {
      errno = EIO;
      return false;
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

}  // namespace corvella
