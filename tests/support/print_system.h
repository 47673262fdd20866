#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/label_printer.h"
#include "tests/support/private_scheduler.h"

namespace corvella::testing {

// A private scheduler with raw queues, each bound to its own simulated label
// printer whose jobs are kept under DIR/printers/NAME. Everything is torn down
// by the destructor: the scheduler first (so no backend is left sending),
// then the printers, then DIR is removed.
class PrintSystem {
 public:
  PrintSystem() = default;
  explicit PrintSystem(PrivateScheduler::Options options) : scheduler_(options) {}
  ~PrintSystem();
  PrintSystem(const PrintSystem&) = delete;
  PrintSystem& operator=(const PrintSystem&) = delete;

  // Empty when the print system can run here, else why not.
  static std::string UnavailableReason() { return PrivateScheduler::UnavailableReason(); }

  // Starts the scheduler; false with a message in error().
  bool start();
  // Starts a simulated printer in `mode` and adds the raw queue `name` bound
  // to it. Returns the printer (owned by this object), nullptr on failure.
  LabelPrinter* addQueue(const std::string& name,
                         LabelPrinter::Mode mode = LabelPrinter::Mode::kRecord);
  // The printer behind queue `name`, nullptr when there is none.
  LabelPrinter* printer(const std::string& name);

  // Waits until the printer of `queue` holds `count` jobs or `timeout` has
  // passed, and returns its jobs' bytes in arrival order.
  std::vector<std::string> waitForJobs(
      const std::string& queue, size_t count,
      std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // Stops and removes everything now (as the destructor does).
  void shutDown();

  PrivateScheduler& scheduler() { return scheduler_; }
  const std::string& cupsServer() const { return scheduler_.cupsServer(); }
  const std::string& directory() const { return scheduler_.directory(); }
  const std::string& error() const { return error_; }

 private:
  PrivateScheduler scheduler_;
  std::map<std::string, std::unique_ptr<LabelPrinter>> printers_;
  std::string error_;
};

// A fixture whose tests get a running print system in print_system_. Skips
// the test (with the reason) when CUPS is not installed.
class PrintSystemTest : public ::testing::Test {
 protected:
  void SetUp() override;

  PrintSystem print_system_;
};

}  // namespace corvella::testing
