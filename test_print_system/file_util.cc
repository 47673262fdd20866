#include "test_print_system/file_util.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace corvella::testing {

std::optional<std::string> ReadFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return contents;
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
