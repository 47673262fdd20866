#include "test_print_system/scratch_directory.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "process/failure.h"
#include "submission/temporary_directory.h"
#include "test_print_system/file_util.h"

namespace corvella::testing {

ScratchDirectory::~ScratchDirectory() { remove(); }

bool ScratchDirectory::create(const std::string& prefix, std::string& reason) {
  remove();
  std::string path = PathInDirectory(TemporaryDirectory(), prefix + ".XXXXXX");
  if (::mkdtemp(path.data()) == nullptr) {
    reason = PosixFailure("cannot create " + path, errno);
    return false;
  }
  path_ = std::move(path);
  // Other users (the scheduler runs its backends as user lp) must be able to
  // reach files inside.
  if (::chmod(path_.c_str(), 0755) != 0) {
    reason = PosixFailure("cannot make " + path_ + " readable", errno);
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
