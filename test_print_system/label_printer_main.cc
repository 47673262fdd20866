// corvella-label-printer: a simulated network label printer for tests and the
// demo. See LabelPrinterServer for what it does with connections.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "Runner/failure.h"
#include "test_print_system/label_printer_server.h"

namespace {

constexpr const char* kUsage =
    "usage: corvella-label-printer --jobs DIR [--port N] [--port-file FILE]\n"
    "                              [--mode record|close|stall|down]\n"
    "                              [--no-render] [--dpmm 6|8|12|24]\n"
    "                              [--media WxH[mm]]\n"
    "\n"
    "Listens on 127.0.0.1:N (N = 0 or absent: a port chosen by the system),\n"
    "prints the port on standard output and keeps the bytes of each connection\n"
    "as DIR/job-000001.bin, DIR/job-000002.bin, ... until SIGTERM or SIGINT.\n"
    "  record  keep every connection's bytes as one job (default)\n"
    "  close   accept and close each connection at once\n"
    "  stall   accept each connection and never read from it\n"
    "  down    hold the port without listening: connections are refused\n"
    "Each stored job's labels are drawn beside it, off the path that accepts\n"
    "jobs: job-000001.png (job-000001-2.png, ... for further labels) and the\n"
    "report job-000001.json, written last. --no-render turns this off; --dpmm\n"
    "sets the printer's resolution in dots per millimetre (default 8), --media\n"
    "the media loaded, in inches or with the suffix mm in millimetres (default\n"
    "4x6): each picture is the media, a narrower print width centred on it.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "corvella-label-printer: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

bool ParsePort(const std::string& text, uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using corvella::print_system::LabelPrinterOptions;
  using corvella::print_system::LabelPrinterServer;
  using corvella::print_system::ParsePrinterMode;

  LabelPrinterOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--no-render") {
      options.render = false;
      continue;
    }
    if (arg != "--jobs" && arg != "--port" && arg != "--port-file" && arg != "--mode" &&
        arg != "--dpmm" && arg != "--media") {
      return UsageError("unknown argument '" + arg + "'");
    }
    if (i + 1 >= argc) return UsageError(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--jobs") {
      options.jobs_directory = value;
    } else if (arg == "--port") {
      if (!ParsePort(value, options.port)) return UsageError("bad port '" + value + "'");
    } else if (arg == "--dpmm") {
      if (value != "6" && value != "8" && value != "12" && value != "24") {
        return UsageError("--dpmm takes 6, 8, 12 or 24");
      }
      options.dots_per_mm = std::atoi(value.c_str());
    } else if (arg == "--media") {
      const std::optional<corvella::zpl::MediaSize> media = corvella::zpl::ParseMediaSize(value);
      if (!media) return UsageError("bad media size '" + value + "' (e.g. 4x6 or 100x150mm)");
      options.media = *media;
    } else if (arg == "--port-file") {
      options.port_file = value;
    } else {
      auto mode = ParsePrinterMode(value);
      if (!mode) return UsageError("bad mode '" + value + "'");
      options.mode = *mode;
    }
  }
  if (options.jobs_directory.empty()) return UsageError("--jobs DIR is required");
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

  if (!LabelPrinterServer::BlockTerminationSignals()) {
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
  if (!server.serve(reason)) {
    std::fprintf(stderr, "corvella-label-printer: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}
