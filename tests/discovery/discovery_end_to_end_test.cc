// The query methods through the channel against a private CUPS scheduler,
// with the real lpstat.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "Runner/zebra_printer_plugin.h"
#include "tests/support/channel_harness.h"
#include "tests/support/print_system.h"
#include "tests/support/tool_override.h"

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
      ASSERT_NE(print_system_.addQueue(queue), nullptr) << print_system_.error();
    }
    ASSERT_TRUE(print_system_.rejectQueue("Alpha_Rejecting", "Paper out: load labels"))
        << print_system_.error();
    ASSERT_TRUE(print_system_.disableQueue("Beta_Disabled", "Head open"))
        << print_system_.error();
    zebra_printer_plugin_register_with_registrar(harness_.registrar("ZebraPrinterPlugin"));
  }

  std::string call(const std::string& method, EncodableValue arguments = {}) {
    std::optional<FlutterResultValue> result = harness_.call(method, std::move(arguments));
    return result ? Describe(*result) : "<no single reply>";
  }
  std::string selection() { return call("getPrinterStatus"); }

  ChannelHarness harness_;
};

const char kAllQueues[] = R"(["Alpha_Rejecting","Beta_Disabled","Gamma"])";

TEST_F(DiscoveryEndToEnd, ListsEveryQueueInOrderAndNoReasonAsAPrinter) {
  EXPECT_EQ(call("getAvailablePrinters"), kAllQueues);
}

TEST_F(DiscoveryEndToEnd, WithoutASystemDefaultTheFirstListedPrinterServes) {
  EXPECT_EQ(call("getDefaultPrinter"), "\"Alpha_Rejecting\"");
  EXPECT_EQ(call("connectToDefaultPrinter"), "true");
  EXPECT_EQ(selection(),
            Describe(TextMap({{"connected", true}, {"printerName", "Alpha_Rejecting"}})));
}

TEST_F(DiscoveryEndToEnd, TheSystemDefaultIsNamedAndSelected) {
  ASSERT_TRUE(print_system_.setDefault("Gamma")) << print_system_.error();
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
  ASSERT_TRUE(print_system_.setDefault("Gamma")) << print_system_.error();
  ASSERT_EQ(setenv("LPDEST", "Missing_Queue", 1), 0);
  // lpstat prints an "lpstat: error - LPDEST ..." diagnostic on standard
  // output: that is no printer, so the first listed one serves.
  EXPECT_EQ(call("getDefaultPrinter"), "\"Alpha_Rejecting\"");
  ASSERT_EQ(unsetenv("LPDEST"), 0);
  EXPECT_EQ(call("getDefaultPrinter"), "\"Gamma\"");
}

TEST_F(DiscoveryEndToEnd, WhenLpstatFailsThePlatformListServes) {
  // The test process is still single-threaded here: the harness starts no
  // thread and the printers run as processes of their own.
  NamespaceResult ns = ToolOverride::EnterPrivateMountNamespace();
  if (ns.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << ns.message;
  ASSERT_EQ(ns.status, NamespaceStatus::kEntered) << ns.message;
  ToolOverride tools;
  ASSERT_TRUE(tools.replace("/usr/bin/lpstat", "#!/bin/sh\necho 'lpstat: broken' >&2\nexit 1\n"))
      << tools.error();
  EXPECT_EQ(call("getAvailablePrinters"), kAllQueues);
  EXPECT_EQ(call("getDefaultPrinter"), "\"Alpha_Rejecting\"");
}

TEST_F(DiscoveryEndToEnd, ThePlatformListGivesUpOnAStalledScheduler) {
  NamespaceResult ns = ToolOverride::EnterPrivateMountNamespace();
  if (ns.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << ns.message;
  ASSERT_EQ(ns.status, NamespaceStatus::kEntered) << ns.message;
  ToolOverride tools;
  ASSERT_TRUE(tools.replace("/usr/bin/lpstat", "#!/bin/sh\nexit 1\n")) << tools.error();
  // lpstat fails at once; the list then comes from libcups, whose scheduler
  // has stopped answering.
  const pid_t scheduler = print_system_.schedulerPid();
  ASSERT_EQ(kill(scheduler, SIGSTOP), 0);
  const auto start = std::chrono::steady_clock::now();
  const std::string stalled = call("getAvailablePrinters");
  const auto took = std::chrono::steady_clock::now() - start;
  kill(scheduler, SIGCONT);
  EXPECT_EQ(stalled, "[]");
  EXPECT_LT(took, std::chrono::seconds(6)) << "the query held its thread past its time limit";
  EXPECT_EQ(call("getAvailablePrinters"), kAllQueues);
}

}  // namespace
}  // namespace corvella::testing
