#include "test_print_system/file_util.h"

#include <glib.h>

#include <filesystem>
#include <system_error>

namespace corvella::testing {

// GLib reads with the system calls until the end, whatever size the file
// claims (a /proc entry says 0), and reports a failure as a value.
std::optional<std::string> ReadFile(const std::string& path) {
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) return std::nullopt;
  std::string text(contents, length);
  g_free(contents);
  return text;
}

bool WriteFile(const std::string& path, const std::string& contents, mode_t mode) {
  return g_file_set_contents_full(path.c_str(), contents.data(),
                                  static_cast<gssize>(contents.size()),
                                  G_FILE_SET_CONTENTS_CONSISTENT, static_cast<int>(mode), nullptr);
}

bool RemoveTree(const std::string& path) {
  // remove_all removes links themselves, never what they point to.
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error;
}

}  // namespace corvella::testing
