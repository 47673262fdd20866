// The query methods through the channel against a private CUPS scheduler,
// with the real lpstat.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_print_system/file_util.h"
#include "test_print_system/scratch_directory.h"
#include "tests/support/channel_harness.h"
#include "tests/support/print_system_test.h"
#include "tests/support/time_scale.h"
#include "zebra_printer_plugin_private.h"

namespace corvella::testing {
namespace {

class DiscoveryEndToEnd : public PrintSystemTest {
 protected:
  void SetUp() override {
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // Named so that lpstat's order (by name) is known; one queue rejects
    // jobs with a reason that holds a colon, one is disabled.
    for (const char* queue : {"Alpha_Rejecting", "Beta_Disabled", "Gamma"}) {
      ASSERT_NE(print_system_.addQueue(queue, reason_), nullptr) << reason_;
    }
    ASSERT_TRUE(print_system_.rejectQueue("Alpha_Rejecting", "Paper out: load labels", reason_))
        << reason_;
    ASSERT_TRUE(print_system_.disableQueue("Beta_Disabled", "Head open", reason_)) << reason_;
  }

  // Registers the plug-in with an lpstat that fails at once, instead of
  // the real one; before the first call.
  void breakLpstat() {
    std::string error;
    ASSERT_TRUE(scratch_.create("corvella-lpstat", error)) << error;
    PrintTools tools;
    tools.lpstat = scratch_.path() + "/lpstat";
    ASSERT_TRUE(WriteFile(tools.lpstat, "#!/bin/sh\necho 'lpstat: broken' >&2\nexit 1\n", 0755));
    RegisterZebraPrinterPlugin(harness_.registrar("ZebraPrinterPlugin"), tools);
    registered_ = true;
  }

  std::string call(const std::string& method, Value arguments = {}) {
    if (!registered_) {
      zebra_printer_plugin_register_with_registrar(harness_.registrar("ZebraPrinterPlugin"));
      registered_ = true;
    }
    return harness_.call(method, std::move(arguments));
  }
  std::string selection() { return call("getPrinterStatus"); }

  ChannelHarness harness_;
  ScratchDirectory scratch_;
  bool registered_ = false;
};

const char kAllQueues[] = R"(["Alpha_Rejecting","Beta_Disabled","Gamma"])";

TEST_F(DiscoveryEndToEnd, ListsEveryQueueInOrderAndNoReasonAsAPrinter) {
  EXPECT_EQ(call("getAvailablePrinters"), kAllQueues);
}

TEST_F(DiscoveryEndToEnd, TheSystemDefaultIsNamedAndSelected) {
  ASSERT_TRUE(print_system_.setDefault("Gamma", reason_)) << reason_;
  EXPECT_EQ(call("getDefaultPrinter"), "\"Gamma\"");
  EXPECT_EQ(call("connectToDefaultPrinter"), "true");
  EXPECT_EQ(selection(), Describe(TextMap({{"connected", true}, {"printerName", "Gamma"}})));
}

TEST_F(DiscoveryEndToEnd, ATranslatedNoDefaultAnswerNamesNoPrinter) {
  ASSERT_EQ(setenv("LANG", "de_DE.UTF-8", 1), 0);
  ASSERT_EQ(setenv("LC_ALL", "de_DE.UTF-8", 1), 0);
  EXPECT_EQ(call("getAvailablePrinters"), kAllQueues);
  EXPECT_EQ(call("getDefaultPrinter"), "\"Alpha_Rejecting\"");
}

TEST_F(DiscoveryEndToEnd, AnLpdestThatNamesAMissingQueueIsNoDefault) {
  ASSERT_TRUE(print_system_.setDefault("Gamma", reason_)) << reason_;
  ASSERT_EQ(setenv("LPDEST", "Missing_Queue", 1), 0);
  // lpstat prints an "lpstat: error - LPDEST ..." diagnostic on standard
  // output: that is no printer, so the first listed one serves.
  EXPECT_EQ(call("getDefaultPrinter"), "\"Alpha_Rejecting\"");
  ASSERT_EQ(unsetenv("LPDEST"), 0);
  EXPECT_EQ(call("getDefaultPrinter"), "\"Gamma\"");
}

TEST_F(DiscoveryEndToEnd, WhenLpstatFailsThePlatformListServes) {
  breakLpstat();
  EXPECT_EQ(call("getAvailablePrinters"), kAllQueues);
  EXPECT_EQ(call("getDefaultPrinter"), "\"Alpha_Rejecting\"");
}

TEST_F(DiscoveryEndToEnd, ThePlatformListGivesUpOnAStalledScheduler) {
  breakLpstat();
  // lpstat fails at once; the list then comes from libcups, whose scheduler
  // has stopped answering.
  const pid_t scheduler = print_system_.schedulerPid();
  ASSERT_EQ(kill(scheduler, SIGSTOP), 0);
  const auto start = std::chrono::steady_clock::now();
  const std::string stalled = call("getAvailablePrinters");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(stalled, "[]");
  EXPECT_LT(took, Scaled(std::chrono::seconds(6)))
      << "the query held its thread past its time limit";
  // Until the scheduler answers again, queries answer at once.
  const auto again = std::chrono::steady_clock::now();
  EXPECT_EQ(call("getAvailablePrinters"), "[]");
  EXPECT_LT(std::chrono::steady_clock::now() - again, Scaled(std::chrono::milliseconds(500)));
  // Once it answers, the list is whole again within moments.
  kill(scheduler, SIGCONT);
  const auto resumed = std::chrono::steady_clock::now();
  std::string list;
  while ((list = call("getAvailablePrinters")) != kAllQueues &&
         std::chrono::steady_clock::now() - resumed < Scaled(std::chrono::seconds(2))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(list, kAllQueues);
}

}  // namespace
}  // namespace corvella::testing
