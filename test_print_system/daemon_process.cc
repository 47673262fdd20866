#include "test_print_system/daemon_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "process/child_spawn.h"

namespace corvella::testing {

namespace {

constexpr const char* kSetpriv = "/usr/bin/setpriv";

}  // namespace

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0) stop();
}

bool DaemonProcess::start(const std::vector<std::string>& argv, const SpawnOptions& options,
                          std::string& reason) {
  if (argv.empty()) {
    reason = "no program to start";
    return false;
  }
  // On request the child dies with the thread that started it: setpriv sets
  // that up and becomes the program.
  std::vector<std::string> command;
  if (options.terminate_with_parent) command = {"--pdeathsig", "TERM", "--"};
  command.insert(command.end(), argv.begin() + (options.terminate_with_parent ? 0 : 1), argv.end());
  const std::string& program = options.terminate_with_parent ? kSetpriv : argv.front();
  ChildStreams streams;
  streams.input.kind = ChildStream::Kind::kDevNull;
  if (options.stdout_fd >= 0) streams.output = ChildStream::descriptor(options.stdout_fd);
  if (options.stderr_fd >= 0) streams.error = ChildStream::descriptor(options.stderr_fd);
  const std::optional<pid_t> pid = SpawnChild(program, command, streams, reason);
  if (!pid) return false;
  pid_ = *pid;
  status_.reset();
  return true;
}

bool DaemonProcess::running() {
  if (pid_ <= 0 || status_) return false;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    status_ = status;
    return false;
  }
  // r < 0 (ECHILD): someone else reaped it; treat as gone.
  if (r < 0) {
    status_ = 0;
    return false;
  }
  return true;
}

std::optional<int> DaemonProcess::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(200);
  while (running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(10000));
  }
  return status_;
}

std::optional<int> DaemonProcess::stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return status_;
  if (running()) {
    ::kill(pid_, SIGTERM);
    if (!wait(grace)) {
      ::kill(pid_, SIGKILL);
      wait(std::chrono::seconds(30));
    }
  }
  return status_;
}

}  // namespace corvella::testing
