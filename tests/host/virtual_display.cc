#include "tests/host/virtual_display.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Runner/temporary_directory.h"

namespace corvella::testing {

void UseDisplay(const std::string& name) {
  setenv("DISPLAY", name.c_str(), 1);
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  unsetenv("WAYLAND_DISPLAY");
}

bool VirtualDisplay::start(std::string& why) {
  constexpr const char* kXvfb = "/usr/bin/Xvfb";
  if (access(kXvfb, X_OK) != 0) {
    why = "Xvfb is not installed (scripts/install-deps installs it)";
    return false;
  }
  // Xvfb writes the number of the display it chose, "N\n", to its standard
  // output once it accepts clients.
  std::string report = TemporaryDirectory() + "/corvella-xvfb-XXXXXX";
  const int report_fd = mkostemp(report.data(), O_CLOEXEC);
  if (report_fd < 0) {
    why = "mkostemp failed";
    return false;
  }
  unlink(report.c_str());
  SpawnOptions spawn;
  spawn.stdout_fd = report_fd;
  spawn.terminate_with_parent = true;
  const bool started = server_.start(
      {kXvfb, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24", "-noreset"},
      spawn, why);
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (started && number.find('\n') == std::string::npos && server_.running() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    char buffer[32];
    const ssize_t n = pread(report_fd, buffer, sizeof buffer, 0);
    number.assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  }
  close(report_fd);
  if (number.find('\n') == std::string::npos || number[0] == '\n') {
    if (started) why = "Xvfb did not report a display";
    return false;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
  return true;
}

}  // namespace corvella::testing
