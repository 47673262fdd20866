#pragma once

#include <gtest/gtest.h>

#include "test_print_system/print_system.h"

namespace corvella::testing {

// A fixture whose tests get a running print system in print_system_. Skips
// the test (with the reason) when CUPS is not installed.
class PrintSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string reason = PrintSystem::UnavailableReason();
    if (!reason.empty()) GTEST_SKIP() << reason;
    ASSERT_TRUE(print_system_.start()) << print_system_.error();
  }
  PrintSystem print_system_;
};

}  // namespace corvella::testing
