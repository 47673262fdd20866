#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvella::testing {

// The child's standard input is /dev/null.
struct SpawnOptions {
  int stdout_fd = -1;  // -1: this process's standard output
  int stderr_fd = -1;  // -1: this process's standard error
  // The child gets SIGTERM when the thread that started it dies (e.g. the
  // test process crashes), so a daemon never outlives its test.
  bool terminate_with_parent = false;
};

// One long-running child (a scheduler, a simulated printer, a display
// server), started as every program of the tree is (SpawnChild). The
// destructor stops it (SIGTERM, then SIGKILL after a grace period) and reaps
// it, so no child of a test outlives the object.
class DaemonProcess {
 public:
  DaemonProcess() = default;
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  // argv[0] is the program's path. False, with `reason` set, when it cannot
  // be started (the exec failure is reported, not a child that exits 127).
  bool start(const std::vector<std::string>& argv, const SpawnOptions& options,
             std::string& reason);

  pid_t pid() const { return pid_; }
  // True while started and not yet exited. Reaps the child when it has exited.
  bool running();
  // The wait status once the child has been reaped.
  std::optional<int> status() const { return status_; }

  // Waits up to `timeout` for the child to exit; returns its wait status.
  std::optional<int> wait(std::chrono::milliseconds timeout);
  // SIGTERM, waits up to `grace`, then SIGKILL; returns the wait status.
  std::optional<int> stop(std::chrono::milliseconds grace = std::chrono::seconds(10));

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace corvella::testing
