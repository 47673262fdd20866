#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/scratch_directory.h"

namespace corvella::testing {

// A CUPS scheduler of the test's own: /usr/sbin/cupsd in a fresh directory
// (DIR, mode 0755) that holds its configuration, spool, state and logs and
// listens only on DIR/cups.sock. The machine's own scheduler is never
// contacted. The destructor stops cupsd, kills anything it left running and
// removes DIR, also when the test has failed.
//
// Start it before the test starts other threads: it sets CUPS_SERVER in this
// process's environment (so child processes inherit it) and restores the old
// value when destroyed.
class PrivateScheduler {
 public:
  static constexpr const char* kCupsd = "/usr/sbin/cupsd";

  struct Options {
    bool export_cups_server = true;  // setenv("CUPS_SERVER", cupsServer())
    std::chrono::milliseconds start_timeout{20000};
  };

  PrivateScheduler();
  explicit PrivateScheduler(Options options);
  ~PrivateScheduler();
  PrivateScheduler(const PrivateScheduler&) = delete;
  PrivateScheduler& operator=(const PrivateScheduler&) = delete;

  // Empty when a scheduler can run here, else why not (for GTEST_SKIP).
  static std::string UnavailableReason();

  // Creates DIR (on the first start), writes the configuration, starts cupsd
  // and waits until `lpstat -r` says it is running. Returns false with a
  // message (and the end of its error log) in error().
  bool start();
  // Stops cupsd (SIGTERM, then SIGKILL) and everything it started; keeps DIR,
  // so queues and their settings survive a later start().
  bool stop();
  bool restart() { return stop() && start(); }
  // Stops cupsd, removes DIR and restores CUPS_SERVER, as the destructor
  // does. A later start() begins afresh in a new directory.
  void shutDown();
  bool running();
  pid_t pid() const { return cupsd_.pid(); }

  const std::string& directory() const { return directory_.path(); }
  // The CUPS_SERVER value: DIR/cups.sock.
  const std::string& cupsServer() const { return server_; }

  // Queue administration; each returns false with the tool's output in error().
  // lpadmin -p NAME -E -v URI -m raw
  bool addQueue(const std::string& name, const std::string& device_uri);
  bool removeQueue(const std::string& name);
  // cupsreject -r REASON: `lpstat -a` then shows "\tREASON" under the queue.
  bool rejectQueue(const std::string& name, const std::string& reason);
  bool acceptQueue(const std::string& name);
  // cupsdisable -r REASON: jobs are accepted and held until enableQueue().
  bool disableQueue(const std::string& name, const std::string& reason);
  bool enableQueue(const std::string& name);
  // lpadmin -d NAME
  bool setDefault(const std::string& name);

  const std::string& error() const { return error_; }
  // The last lines of DIR/error_log (debug level), for failure messages.
  std::string errorLogTail(size_t lines = 40) const;

 private:
  bool writeConfiguration();
  bool waitUntilReady();
  bool admin(const std::vector<std::string>& argv);
  bool fail(const std::string& message);

  Options options_;
  ScratchDirectory directory_;
  std::string server_;
  ChildProcess cupsd_;
  std::string error_;
  bool exported_ = false;
  std::optional<std::string> previous_cups_server_;
};

}  // namespace corvella::testing
