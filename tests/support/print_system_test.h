#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "test_print_system/print_system.h"

namespace corvella::testing {

// A fixture whose tests get a running print system in print_system_, and
// reason_ for what its calls say when they fail. Skips the test (with the
// reason) when CUPS is not installed.
class PrintSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrintSystem::available(reason_)) GTEST_SKIP() << reason_;
    ASSERT_TRUE(print_system_.start(reason_, startOptions())) << reason_;
  }
  // What the print system is started with.
  virtual std::vector<std::string> startOptions() const { return {}; }
  // Stops the scheduler answering (SIGSTOP) until the guard is reset or
  // goes; nothing when it cannot.
  std::shared_ptr<void> stallScheduler() {
    const pid_t scheduler = print_system_.schedulerPid();
    if (scheduler <= 0 || ::kill(scheduler, SIGSTOP) != 0) return nullptr;
    return std::shared_ptr<void>(nullptr, [scheduler](void*) { ::kill(scheduler, SIGCONT); });
  }

  PrintSystem print_system_;
  std::string reason_;
};

}  // namespace corvella::testing
