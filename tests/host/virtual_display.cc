#include "tests/host/virtual_display.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string_view>

extern char** environ;

namespace corvella::testing {

namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
// The descriptor on which Xvfb reports the display number it chose.
constexpr int kDisplayFd = 3;
constexpr auto kStartTimeout = std::chrono::seconds(20);

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

void UseDisplay(const std::string& name) {
  setenv("DISPLAY", name.c_str(), 1);
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  unsetenv("WAYLAND_DISPLAY");
}

bool VirtualDisplay::start(std::string& why) {
  if (access(kXvfb, X_OK) != 0) {
    why = "Xvfb is not installed (scripts/install-deps installs it)";
    return false;
  }
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    why = std::string("pipe2: ") + strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    why = "posix_spawn_file_actions_init failed";
    CloseQuietly(report[0]);
    CloseQuietly(report[1]);
    return false;
  }
  posix_spawn_file_actions_adddup2(&actions, report[1], kDisplayFd);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string fd_text = std::to_string(kDisplayFd);
  const char* argv[] = {kXvfb,     "-displayfd", fd_text.c_str(), "-nolisten", "tcp",
                        "-screen", "0",          "1280x1024x24",  "-noreset",  nullptr};
  const int spawned =
      posix_spawn(&pid_, kXvfb, &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  CloseQuietly(report[1]);
  if (spawned != 0) {
    pid_ = -1;
    CloseQuietly(report[0]);
    why = std::string("cannot start Xvfb: ") + strerror(spawned);
    return false;
  }
  // Xvfb writes "N\n" once it accepts connections.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd in{report[0], POLLIN, 0};
    const int ready = poll(&in, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[32];
    const ssize_t n = read(report[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    number.append(buffer, static_cast<size_t>(n));
    if (number.find('\n') != std::string::npos) break;
  }
  CloseQuietly(report[0]);
  const size_t newline = number.find('\n');
  if (newline == std::string::npos || newline == 0) {
    why = "Xvfb did not report a display";
    return false;
  }
  name_ = ":" + number.substr(0, newline);
  return true;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace corvella::testing
