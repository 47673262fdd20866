#include "test_print_system/file_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "Runner/unique_fd.h"

namespace corvella::testing {

// Read with the system calls themselves: a file that fails while it is
// read (a /proc entry of a process that has just ended, say) gives nothing,
// where a stream buffer would throw.
std::optional<std::string> ReadFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string contents;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0) {
      contents.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      return contents;
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

bool WriteFile(const std::string& path, const std::string& contents, mode_t mode) {
  const std::string temporary = path + ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << contents) || !out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::permissions(temporary, static_cast<std::filesystem::perms>(mode), error);
  if (!error) std::filesystem::rename(temporary, path, error);
  return !error;
}

bool RemoveTree(const std::string& path) {
  // remove_all removes links themselves, never what they point to.
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error;
}

}  // namespace corvella::testing
