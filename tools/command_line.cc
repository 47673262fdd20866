#include "tools/command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "process/failure.h"
#include "process/unique_fd.h"

namespace corvella {

int UsageError(const char* tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", tool, message.c_str(), tool);
  return kExitUsage;
}

gboolean BadOptionValue(GError** error, const gchar* option, const gchar* value, const char* what) {
  g_set_error(error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE, "%s: '%s' is not %s", option, value,
              what);
  return FALSE;
}

void PrintVersion(const char* tool) { std::printf("%s %s\n", tool, kToolsVersion); }

std::optional<int> ParseToolOptions(const char* tool, const char* parameters,
                                    const char* description, const GOptionEntry* entries,
                                    gpointer data, const gboolean& version, int& argc,
                                    char**& argv) {
  // GLib would print the help in the process's locale, which these tools
  // leave as "C" (numbers in ZPL are read with a decimal point), and so turn
  // its UTF-8 into question marks: the help goes out as the UTF-8 it is.
  if (g_get_prgname() == nullptr && argc > 0) {
    g_autofree gchar* name = g_path_get_basename(argv[0]);
    g_set_prgname(name);
  }
  GOptionContext* context = g_option_context_new(parameters);
  GOptionGroup* group = g_option_group_new(tool, "", "", data, nullptr);
  g_option_group_add_entries(group, entries);
  g_option_context_set_main_group(context, group);
  g_option_context_set_description(context, description);
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      g_autofree gchar* help = g_option_context_get_help(context, TRUE, nullptr);
      std::fputs(help, stdout);
      std::exit(0);
    }
  }
  GError* error = nullptr;
  const bool parsed = g_option_context_parse(context, &argc, &argv, &error);
  g_option_context_free(context);
  if (!parsed) {
    const std::string message = error != nullptr ? error->message : "cannot read the options";
    g_clear_error(&error);
    return UsageError(tool, message);
  }
  if (version) {
    PrintVersion(tool);
    return 0;
  }
  return std::nullopt;
}

std::optional<std::string> ReadInputFile(const std::string& path, size_t max_bytes,
                                         std::string& reason) {
  UniqueFd opened;
  int fd = STDIN_FILENO;
  if (path != "-") {
    do {
      opened = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    } while (!opened.valid() && errno == EINTR);
    if (!opened.valid()) {
      reason = PosixFailure("cannot read " + path, errno);
      return std::nullopt;
    }
    fd = opened.get();
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = PosixFailure("cannot read " + path, errno);
      return std::nullopt;
    }
    if (n == 0) return text;
    if (text.size() + static_cast<size_t>(n) > max_bytes) {
      reason = path + " is larger than " + std::to_string(max_bytes >> 20) + " MiB";
      return std::nullopt;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace corvella
