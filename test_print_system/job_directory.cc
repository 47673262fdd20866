#include "test_print_system/job_directory.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>

namespace corvella::testing {

std::string JobFileName(uint64_t number) {
  char name[40];
  std::snprintf(name, sizeof name, "job-%06llu.bin", static_cast<unsigned long long>(number));
  return name;
}

std::vector<uint64_t> JobNumbers(const std::string& directory) {
  std::vector<uint64_t> numbers;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return numbers;
  while (dirent* entry = ::readdir(dir)) {
    // Exactly a job's name: not the hidden name of a job still arriving,
    // nor a picture or report drawn from one.
    unsigned long long number = 0;
    if (std::sscanf(entry->d_name, "job-%llu", &number) == 1 &&
        JobFileName(number) == entry->d_name)
      numbers.push_back(number);
  }
  ::closedir(dir);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

}  // namespace corvella::testing
