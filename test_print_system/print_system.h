#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "test_print_system/daemon_process.h"
#include "test_print_system/printer_mode.h"
#include "test_print_system/scoped_environment.h"

namespace corvella::testing {

class PrintSystem;

// The simulated printer behind one queue: its jobs, and its mode.
class QueuePrinter {
 public:
  using Mode = PrinterMode;

  QueuePrinter(PrintSystem& system, std::string name);
  // The bytes of every finished job so far, in arrival order.
  std::vector<std::string> jobs() const;
  // Waits until at least `count` jobs have arrived or `timeout` has passed.
  std::vector<std::string> waitForJobs(
      size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Restarts the printer in `mode` on the same port; numbering goes on.
  bool setMode(Mode mode, std::string& reason);
  // Restarts the printer reporting `condition` when asked for its status:
  // "ready", or "out-of-labels" and/or "head-open", comma-separated. Its
  // queue goes through the corvella-label backend from then on, which shows
  // it as the queue's printer-state-reasons while a job waits.
  bool setCondition(const std::string& condition, std::string& reason);
  const std::string& jobDirectory() const { return directory_; }

 private:
  PrintSystem& system_;
  std::string name_;
  std::string directory_;
};

// The test print system of the tests, the demo and the benchmarks: the
// corvella-print-system script run for the test, a private CUPS scheduler
// with raw queues bound to simulated label printers, all under one
// directory. The destructor stops the script, which removes everything.
//
// start() sets CUPS_SERVER and CORVELLA_PRINT_DIR in this process's
// environment (child processes inherit them), so start it before the test
// starts other threads; the old values come back when the object goes.
//
// What can fail returns false (or nullptr) and says why in `reason`.
class PrintSystem {
 public:
  using Mode = PrinterMode;

  PrintSystem() = default;
  ~PrintSystem();
  PrintSystem(const PrintSystem&) = delete;
  PrintSystem& operator=(const PrintSystem&) = delete;

  // Whether the print system can run here; when not, `reason` says why.
  static bool available(std::string& reason);
  // The script, built beside the tests (build/bin/corvella-print-system).
  static std::string scriptPath();

  // Starts the script with `options` (e.g. "--tcp") and waits until its
  // scheduler answers.
  bool start(std::string& reason, const std::vector<std::string>& options = {});
  // Adds the raw queue `name` bound to a new simulated printer in `mode`.
  // Returns the printer (owned by this object).
  QueuePrinter* addQueue(const std::string& name, std::string& reason, Mode mode = Mode::kRecord);
  QueuePrinter* printer(const std::string& name);

  // The scheduler: stopped (queues and jobs stay) and started again.
  bool stopScheduler(std::string& reason);
  bool startScheduler(std::string& reason);
  pid_t schedulerPid() const;

  // Queue administration through the CUPS tools; on failure `reason` holds
  // their output. A rejecting queue shows `why` under its name in lpstat -a.
  bool setDefault(const std::string& name, std::string& reason);
  bool rejectQueue(const std::string& name, const std::string& why, std::string& reason);
  bool acceptQueue(const std::string& name, std::string& reason);
  bool disableQueue(const std::string& name, const std::string& why, std::string& reason);

  // Runs the script with `arguments` inside this print system.
  bool runScript(const std::vector<std::string>& arguments, std::string& reason);

  const std::string& directory() const { return directory_; }

 private:
  bool run(const std::vector<std::string>& argv, std::string& reason);

  DaemonProcess script_;
  std::string server_;
  std::string directory_;
  std::map<std::string, std::unique_ptr<QueuePrinter>> printers_;
  std::vector<std::unique_ptr<ScopedEnvironment>> environment_;  // restored when it goes
};

}  // namespace corvella::testing
