#pragma once

#include <string>

namespace corvella::testing {

// A fresh directory (mkdtemp under TemporaryDirectory(), mode 0755) that is removed
// with everything in it when the object goes away.
class ScratchDirectory {
 public:
  ScratchDirectory() = default;
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Creates TemporaryDirectory()/PREFIX.XXXXXX; false, with `reason` set,
  // when it cannot. A second call removes the first directory.
  bool create(const std::string& prefix, std::string& reason);

  // Removes the directory now; returns false if anything could not be removed.
  bool remove();

  const std::string& path() const { return path_; }
  bool empty() const { return path_.empty(); }

 private:
  std::string path_;
};

}  // namespace corvella::testing
