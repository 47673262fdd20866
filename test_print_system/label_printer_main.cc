// corvella-label-printer: a simulated network label printer for tests and the
// demo. See LabelPrinterServer for what it does with connections.

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "process/failure.h"
#include "test_print_system/label_printer_server.h"
#include "test_print_system/printer_condition.h"
#include "test_print_system/printer_mode.h"
#include "tools/command_line.h"
#include "zpl/document/label_renderer.h"

namespace {

constexpr const char* kTool = "corvella-label-printer";

constexpr const char* kDescription =
    "Listens on 127.0.0.1:N (N = 0 or absent: a port chosen by the system),\n"
    "prints the port on standard output and keeps the bytes of each connection\n"
    "as DIR/job-000001.bin, DIR/job-000002.bin, ... until SIGTERM or SIGINT\n"
    "(Ctrl-C). Modes:\n"
    "  record  keep every connection's bytes as one job (default)\n"
    "  close   accept and close each connection at once\n"
    "  stall   accept each connection and never read from it\n"
    "  down    hold the port without listening: connections are refused\n"
    "A connection that opens with ~HS gets the printer's host status at once:\n"
    "its paper-out and head-up flags say what --condition gives.\n"
    "Each stored job's labels are drawn beside it, off the path that accepts\n"
    "jobs: job-000001.png (job-000001-2.png, ... for further labels) and the\n"
    "report job-000001.json, written last. Each picture is the media, a\n"
    "narrower print width centred on it.\n"
    "\n"
    "Exit status: 0 after SIGTERM or SIGINT; 1 when the printer cannot start;\n"
    "2 for a usage error.";

struct Settings {
  corvella::testing::LabelPrinterOptions options;
  gchar* jobs = nullptr;
  gchar* port_file = nullptr;
  gboolean no_render = FALSE;
  gboolean version = FALSE;
  ~Settings() {
    g_free(jobs);
    g_free(port_file);
  }
};

gboolean ReadPort(const gchar* option, const gchar* value, gpointer data, GError** error) {
  guint64 port = 0;
  if (!g_ascii_string_to_unsigned(value, 10, 0, 65535, &port, nullptr)) {
    return corvella::BadOptionValue(error, option, value, "a port (0 to 65535)");
  }
  static_cast<Settings*>(data)->options.port = static_cast<uint16_t>(port);
  return TRUE;
}

gboolean ReadMode(const gchar* option, const gchar* value, gpointer data, GError** error) {
  auto mode = corvella::testing::ParsePrinterMode(value);
  if (!mode) return corvella::BadOptionValue(error, option, value, "record, close, stall or down");
  static_cast<Settings*>(data)->options.mode = *mode;
  return TRUE;
}

gboolean ReadDpmm(const gchar* option, const gchar* value, gpointer data, GError** error) {
  const std::optional<int> dots_per_mm = corvella::zpl::ParseDotsPerMm(value);
  if (!dots_per_mm) return corvella::BadOptionValue(error, option, value, "6, 8, 12 or 24");
  static_cast<Settings*>(data)->options.dots_per_mm = *dots_per_mm;
  return TRUE;
}

gboolean ReadCondition(const gchar* option, const gchar* value, gpointer data, GError** error) {
  auto condition = corvella::testing::ParsePrinterCondition(value);
  if (!condition)
    return corvella::BadOptionValue(error, option, value, "ready, out-of-labels or head-open");
  static_cast<Settings*>(data)->options.condition = *condition;
  return TRUE;
}

gboolean ReadMedia(const gchar* option, const gchar* value, gpointer data, GError** error) {
  const std::optional<corvella::zpl::MediaSize> media = corvella::zpl::ParseMediaSize(value);
  if (!media)
    return corvella::BadOptionValue(error, option, value, "a size (e.g. 4x6 or 100x150mm)");
  static_cast<Settings*>(data)->options.media = *media;
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  using corvella::testing::LabelPrinterServer;

  Settings settings;
  const GOptionEntry entries[] = {
      {"jobs", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_FILENAME, &settings.jobs,
       "The folder that keeps the jobs (required; made when missing)", "DIR"},
      {"port", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK, reinterpret_cast<void*>(&ReadPort),
       "The port on 127.0.0.1 (default 0: one the system chooses)", "N"},
      {"port-file", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_FILENAME, &settings.port_file,
       "A file that gets the port once it is bound", "FILE"},
      {"mode", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK, reinterpret_cast<void*>(&ReadMode),
       "record (default), close, stall or down", "MODE"},
      {"no-render", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &settings.no_render,
       "Keep the bytes only; draw no pictures", nullptr},
      {"dpmm", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK, reinterpret_cast<void*>(&ReadDpmm),
       "Dots per millimetre: 6, 8 (the default, 203 dpi), 12 or 24", "N"},
      {"media", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK, reinterpret_cast<void*>(&ReadMedia),
       "The media loaded (inches, or millimetres with mm; default 4x6)", "WxH[mm]"},
      {"condition", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_CALLBACK,
       reinterpret_cast<void*>(&ReadCondition),
       "ready (default), or out-of-labels and/or head-open, comma-separated", "LIST"},
      {"version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &settings.version, "Show the version",
       nullptr},
      {},
  };
  if (const std::optional<int> stop = corvella::ParseToolOptions(
          kTool, "", kDescription, entries, &settings, settings.version, argc, argv)) {
    return *stop;
  }
  if (argc > 1) return corvella::UsageError(kTool, std::string("Unexpected argument ") + argv[1]);
  if (settings.jobs == nullptr) return corvella::UsageError(kTool, "Missing --jobs DIR");
  corvella::testing::LabelPrinterOptions& options = settings.options;
  options.jobs_directory = settings.jobs;
  if (settings.port_file != nullptr) options.port_file = settings.port_file;
  options.render = !settings.no_render;
  if (::mkdir(options.jobs_directory.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "corvella-label-printer: cannot create %s: %s\n",
                 options.jobs_directory.c_str(), corvella::PosixErrorText(errno).c_str());
    return 1;
  }
  struct stat info;
  if (::stat(options.jobs_directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "corvella-label-printer: %s is not a directory\n",
                 options.jobs_directory.c_str());
    return 1;
  }

  if (!LabelPrinterServer::blockTerminationSignals()) {
    std::fprintf(stderr, "corvella-label-printer: cannot block signals\n");
    return 1;
  }
  LabelPrinterServer server(options);
  std::string reason;
  if (!server.open(reason)) {
    std::fprintf(stderr, "corvella-label-printer: %s\n", reason.c_str());
    return 1;
  }
  std::printf("%u\n", static_cast<unsigned>(server.port()));
  std::fflush(stdout);
  // Someone at a terminal is told how it ends; a caller that reads the
  // port is not.
  if (isatty(STDERR_FILENO)) {
    std::fprintf(stderr, "%s: listening on 127.0.0.1:%u; stop it with Ctrl-C or kill -TERM %ld\n",
                 kTool, static_cast<unsigned>(server.port()), static_cast<long>(getpid()));
  }
  if (!server.serve(reason)) {
    std::fprintf(stderr, "corvella-label-printer: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}
