// getPrinterState through the channel against a private CUPS scheduler.
#include <gtest/gtest.h>
#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/channel_harness.h"
#include "tests/support/print_system_test.h"
#include "tests/support/time_scale.h"

namespace corvella::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

class PrinterStateTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (const char* queue : {"Idle", "Paused", "Rejecting", "Labels"}) {
      ASSERT_NE(print_system_.addQueue(queue, reason_), nullptr) << reason_;
    }
    zebra_printer_plugin_register_with_registrar(harness_.registrar("ZebraPrinterPlugin"));
  }

  std::string state(const std::string& queue) {
    return harness_.call("getPrinterState", TextMap({{"printerName", queue}}));
  }
  // Asks until the answer is `expected` or `limit` has passed; the last
  // answer.
  std::string stateWithin(const std::string& queue, const std::string& expected,
                          Clock::duration limit) {
    const auto end = Clock::now() + limit;
    std::string answer;
    while ((answer = state(queue)) != expected && Clock::now() < end) {
      std::this_thread::sleep_for(milliseconds(100));
    }
    return answer;
  }
  void print(const std::string& queue) {
    ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", queue}})), "true");
    ASSERT_EQ(harness_.call("printZPL", TextMap({{"zplCommands", "^XA^FDlabel^FS^XZ"}})), "true");
  }

  ChannelHarness harness_;
};

std::string Described(const std::string& queue, const std::string& state, bool accepting,
                      const std::string& reasons, const std::string& message, int jobs) {
  return R"({"printerName":")" + queue + R"(","state":")" + state + R"(","accepting":)" +
         (accepting ? "true" : "false") + R"(,"reasons":[)" + reasons + R"(],"message":")" +
         message + R"(","jobs":)" + std::to_string(jobs) + "}";
}

TEST_F(PrinterStateTest, TellsWhyAQueueWouldNotPrint) {
  ASSERT_TRUE(print_system_.disableQueue("Paused", "Out of labels", reason_)) << reason_;
  for (int i = 0; i < 3; ++i) print("Paused");
  ASSERT_TRUE(print_system_.rejectQueue("Rejecting", "Labels on order", reason_)) << reason_;
  // The printer reports its condition to CUPS through its backend while
  // the job waits for it.
  ASSERT_TRUE(print_system_.printer("Labels")->setCondition("out-of-labels,head-open", reason_))
      << reason_;
  print("Labels");
  const std::string waiting =
      Described("Labels", "printing", true, R"("media-empty-error","cover-open")",
                "Printer out of labels, head open", 1);
  EXPECT_EQ(stateWithin("Labels", waiting, Scaled(seconds(10))), waiting);

  const std::string idle = Described("Idle", "idle", true, "", "", 0);
  const struct {
    const char* selected;  // nullptr: none
    Value arguments;
    std::string answer;
  } cases[] = {
      {nullptr, TextMap({{"printerName", "Idle"}}), idle},
      {nullptr, TextMap({{"printerName", "Paused"}}),
       Described("Paused", "stopped", true, R"("paused")", "Out of labels", 3)},
      {nullptr, TextMap({{"printerName", "Rejecting"}}),
       Described("Rejecting", "idle", false, "", "Labels on order", 0)},
      {nullptr, TextMap({{"printerName", "Missing"}}),
       R"({"printerName":"Missing","state":"absent"})"},
      {nullptr, TextMap({{"printerName", ""}}), R"({"printerName":"","state":"absent"})"},
      // Without a usable argument: the selected printer, as printZPL.
      {"Idle", {}, idle},
      {"Idle", TextMap({{"printerName", 7}}), idle},
      {"Labels", TextMap({{"printerName", "Idle"}}), idle},
      {nullptr, {}, ErrorAnswer("NO_PRINTER", "No printer connected")},
      {"", {}, ErrorAnswer("NO_PRINTER", "No printer connected")},
  };
  for (const auto& row : cases) {
    if (row.selected != nullptr) {
      harness_.call("connectToPrinter", TextMap({{"printerName", row.selected}}));
    } else {
      harness_.call("disconnect");
    }
    EXPECT_EQ(harness_.call("getPrinterState", row.arguments), row.answer)
        << Describe(row.arguments) << " with " << (row.selected ? row.selected : "none selected");
  }

  // Ready again: the waiting label comes out, and the reasons go.
  ASSERT_TRUE(print_system_.printer("Labels")->setCondition("ready", reason_)) << reason_;
  EXPECT_EQ(print_system_.printer("Labels")->waitForJobs(1).size(), 1u);
  const std::string ready = Described("Labels", "idle", true, "", "", 0);
  EXPECT_EQ(stateWithin("Labels", ready, Scaled(seconds(10))), ready);
}

TEST_F(PrinterStateTest, AFrozenSchedulerIsUnknownWithinTheLimitOncePerOutage) {
  const std::string unknown = R"({"printerName":"Idle","state":"unknown"})";
  std::shared_ptr<void> stall = stallScheduler();
  ASSERT_GT(stall.use_count(), 0) << "cannot stop the scheduler";
  auto start = Clock::now();
  auto asked = harness_.send("getPrinterState", TextMap({{"printerName", "Idle"}}));
  auto status = harness_.send("getPrinterStatus");
  EXPECT_TRUE(asked->replies.empty()) << "answered inside the handler";
  EXPECT_EQ(status->replies.size(), 1u) << "the main thread was held";
  harness_.runUntilIdle();
  EXPECT_LT(Clock::now() - start, Scaled(seconds(6)));
  EXPECT_EQ(Answer(*asked), unknown);
  // The outage is marked for every query: each answers at once.
  start = Clock::now();
  EXPECT_EQ(state("Idle"), unknown);
  EXPECT_EQ(harness_.call("getAvailablePrinters"), "[]");
  EXPECT_LT(Clock::now() - start, Scaled(milliseconds(500)));

  stall.reset();
  const std::string idle = Described("Idle", "idle", true, "", "", 0);
  EXPECT_EQ(stateWithin("Idle", idle, Scaled(seconds(3))), idle);
  // An outage that another query ran into is marked for this one too.
  stall = stallScheduler();
  EXPECT_EQ(harness_.call("getAvailablePrinters"), "[]");
  start = Clock::now();
  EXPECT_EQ(state("Idle"), unknown);
  EXPECT_LT(Clock::now() - start, Scaled(milliseconds(500)));
}

}  // namespace
}  // namespace corvella::testing
