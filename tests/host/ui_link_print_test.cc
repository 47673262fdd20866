// A print in flight when the user interface closes the link, against a
// private print system with a simulated label printer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/host/virtual_display.h"
#include "tests/support/channel_harness.h"
#include "tests/support/print_system_test.h"

namespace corvella::testing {
namespace {

class UiLinkPrintTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    // The print system first: it sets CUPS_SERVER, which the host inherits.
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CORVELLA_REQUIRE_DISPLAY(display_);
  }

  VirtualDisplay display_;
};

TEST_F(UiLinkPrintTest, ClosingInputWhileAPrintIsInFlightStillAnswersAndPrintsTheLabel) {
  ASSERT_NE(print_system_.addQueue("Front_Desk", reason_), nullptr) << reason_;
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(Joined(
      {PrinterCallFrame(1, "connectToPrinter", TextMap({{"printerName", "Front_Desk"}})),
       PrinterCallFrame(2, "printZPL",
                        TextMap({{"zplCommands", "^XA\n^FO20,20^FDCorvella^FS\n^XZ\n"}}))})));
  // The link ends before the print can have finished.
  host.closeInput();
  std::vector<UiLinkReply> replies = host.readToEnd(std::chrono::seconds(60));
  ASSERT_EQ(replies.size(), 2u) << host.errorOutput();
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  EXPECT_EQ(replies[1].id, 2u);
  EXPECT_EQ(AnswerJson(replies[1]), "true") << host.errorOutput();
  host.expectCleanExit();

  // The label arrives byte for byte, with CR LF line ends.
  std::vector<std::string> jobs = print_system_.printer("Front_Desk")->waitForJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], "^XA\r\n^FO20,20^FDCorvella^FS\r\n^XZ\r\n");
}

}  // namespace
}  // namespace corvella::testing
