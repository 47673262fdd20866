#include "test_print_system/scratch_directory.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "test_print_system/file_util.h"

namespace corvella::testing {

ScratchDirectory::~ScratchDirectory() { remove(); }

bool ScratchDirectory::create(const std::string& prefix, std::string* error) {
  remove();
  std::string pattern = TemporaryRoot() + "/" + prefix + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) {
    if (error) *error = "mkdtemp(" + pattern + "): " + std::strerror(errno);
    return false;
  }
  path_ = buffer.data();
  // Other users (the scheduler runs its backends as user lp) must be able to
  // reach files inside.
  if (::chmod(path_.c_str(), 0755) != 0) {
    if (error) *error = "chmod(" + path_ + "): " + std::strerror(errno);
    remove();
    return false;
  }
  return true;
}

bool ScratchDirectory::remove() {
  if (path_.empty()) return true;
  bool removed = RemoveTree(path_);
  path_.clear();
  return removed;
}

}  // namespace corvella::testing
