#include "tests/host/virtual_display.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include "submission/temporary_directory.h"
#include "test_print_system/file_util.h"

namespace corvella::testing {

void UseDisplay(const VirtualDisplay& display) {
  const bool wayland = display.kind() == VirtualDisplay::Kind::kWayland;
  if (wayland) {
    setenv("WAYLAND_DISPLAY", display.name().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", display.runtimeDirectory().c_str(), 1);
    unsetenv("DISPLAY");
  } else {
    setenv("DISPLAY", display.name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
  }
  setenv("GDK_BACKEND", wayland ? "wayland" : "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
}

bool VirtualDisplay::start(std::string& why) {
  const char* wanted = getenv("CORVELLA_TEST_DISPLAY");
  kind_ = wanted != nullptr && std::string_view(wanted) == "wayland" ? Kind::kWayland : Kind::kX11;
  return kind_ == Kind::kWayland ? startWayland(why) : startX11(why);
}

bool VirtualDisplay::startWayland(std::string& why) {
  constexpr const char* kWeston = "/usr/bin/weston";
  constexpr const char* kSocket = "wayland-corvella";
  if (access(kWeston, X_OK) != 0 || access("/usr/bin/weston-debug", X_OK) != 0) {
    why = "weston is not installed (scripts/install-deps installs it)";
    return false;
  }
  // Installed, it must come up: anything else fails the test.
  const auto fail = [&why](const std::string& reason) {
    why = reason;
    ADD_FAILURE() << why;
    return false;
  };
  if (access(CORVELLA_WESTON_PROBE, R_OK) != 0) return fail("no compositor module in this build");
  // The compositor's sockets go in a runtime directory only this user may enter.
  if (!runtime_directory_.create("corvella-wayland", why)) return fail(why);
  const std::string& directory = runtime_directory_.path();
  const std::string log = directory + "/weston.log";
  const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (chmod(directory.c_str(), 0700) != 0 || log_fd < 0) {
    const std::string reason = "cannot prepare " + directory + ": " + std::strerror(errno);
    if (log_fd >= 0) close(log_fd);
    return fail(reason);
  }
  SpawnOptions spawn;
  spawn.stdout_fd = log_fd;
  spawn.stderr_fd = log_fd;
  spawn.terminate_with_parent = true;
  const bool started = server_.start(
      {"/usr/bin/env", "XDG_RUNTIME_DIR=" + directory, kWeston, "--backend=headless-backend.so",
       std::string("--socket=") + kSocket, "--no-config", "--idle-time=0", "--debug",
       std::string("--modules=") + CORVELLA_WESTON_PROBE},
      spawn, why);
  close(log_fd);
  if (!started) return fail(why);
  // The socket is there once the back-end is up; the shell and the module
  // are loaded before the compositor serves its first client.
  const std::string socket = directory + "/" + kSocket;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  struct stat info {};
  bool listening = false;
  while (!listening && server_.running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    listening = stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
  }
  if (!listening || !server_.running()) {
    return fail("weston did not come up:\n" + ReadFile(log).value_or(""));
  }
  name_ = kSocket;
  return true;
}

bool VirtualDisplay::startX11(std::string& why) {
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
