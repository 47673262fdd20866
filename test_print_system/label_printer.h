#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "test_print_system/daemon_process.h"

namespace corvella::testing {

// A simulated label printer for one test: the corvella-label-printer program
// listening on 127.0.0.1 (a port chosen by the system unless given), keeping
// each connection's bytes as one job file in a directory. Running it as its
// own process keeps the test process free of data races. The destructor stops it; the job directory
// is the caller's.
class LabelPrinter {
 public:
  LabelPrinter() = default;
  ~LabelPrinter();
  LabelPrinter(const LabelPrinter&) = delete;
  LabelPrinter& operator=(const LabelPrinter&) = delete;

  // Starts the printer, recording, with its jobs in `jobs_directory`
  // (created if needed). Returns once the port is bound; false, with
  // `reason` set, when it does not start. With `render` false it keeps the
  // bytes only, drawing no pictures.
  bool start(const std::string& jobs_directory, std::string& reason, bool render = true);
  // Stops it; connections still open are dropped, finished jobs stay.
  bool stop();

  uint16_t port() const { return port_; }

 private:
  DaemonProcess process_;
  uint16_t port_ = 0;
};

// The bytes of every finished job in a printer's job directory, in arrival
// order; and the same once at least `count` are there or `timeout` has
// passed.
std::vector<std::string> ReadJobs(const std::string& jobs_directory);
// Sends `bytes` as one job to the printer on 127.0.0.1:`port`, as a
// network client does: connect, write, close.
bool SendJob(uint16_t port, const std::string& bytes);
std::vector<std::string> WaitForJobs(const std::string& jobs_directory, size_t count,
                                     std::chrono::milliseconds timeout);

}  // namespace corvella::testing
