#include "submission/temporary_directory.h"

#include <cstdlib>

namespace corvella {

std::string TemporaryDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] == '/') return tmpdir;
  return "/tmp";
}

std::string PathInDirectory(std::string_view directory, std::string_view name) {
  while (!directory.empty() && directory.back() == '/') directory.remove_suffix(1);
  std::string path;
  path.reserve(directory.size() + 1 + name.size());
  path.append(directory);
  path.push_back('/');
  path.append(name);
  return path;
}

}  // namespace corvella
