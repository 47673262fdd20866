// "printZPL" through the channel with the real lp and lpr, against a private
// scheduler whose raw queues feed simulated label printers.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test_print_system/scoped_environment.h"
#include "test_print_system/scratch_directory.h"
#include "tests/submission/scripted_print_tools.h"
#include "tests/support/channel_harness.h"
#include "tests/support/log_capture.h"
#include "tests/support/print_system_test.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

class PrintZplEndToEnd : public PrintSystemTest {
 protected:
  void SetUp() override {
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_NE(print_system_.addQueue("Alpha", reason_), nullptr) << reason_;
    ASSERT_NE(print_system_.addQueue("Beta", reason_), nullptr) << reason_;
    // The labels' files go to a directory of this test, which is checked
    // and removed afterwards. Set after the scheduler has made its own.
    std::string error;
    ASSERT_TRUE(tmpdir_.create("corvella-e2e-tmp", error)) << error;
    tmpdir_variable_.set(tmpdir_.path().c_str());
    zebra_printer_plugin_register_with_registrar(harness_.registrar("ZebraPrinterPlugin"));
  }

  std::shared_ptr<ReplyLog> sendPrint(const std::string& zpl) {
    return harness_.send("printZPL", TextMap({{"zplCommands", zpl}}));
  }
  std::shared_ptr<ReplyLog> sendPrintAndWait(const std::string& zpl) {
    auto log = sendPrint(zpl);
    harness_.runUntilIdle();
    return log;
  }
  std::vector<fs::path> labelFiles() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(tmpdir_.path())) files.push_back(entry.path());
    return files;
  }

  ChannelHarness harness_;
  ScratchDirectory tmpdir_;
  ScopedEnvironment tmpdir_variable_{"TMPDIR", getenv("TMPDIR")};
};

TEST_F(PrintZplEndToEnd, ThePrinterGetsTheNormalisedDocumentKeptInAPrivateFile) {
  LogCapture log;
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Alpha"}})), "true");
  const std::string document = "^XA\n^FO50,50^FDCaf\xC3\xA9 \xE2\x82\xAC^FS\r^FO9,9^FDx^FS\r\n";
  const std::string expected =
      "^XA\r\n^FO50,50^FDCaf\xC3\xA9 \xE2\x82\xAC^FS\r\n^FO9,9^FDx^FS\r\n^XZ";
  ASSERT_EQ(Answer(*sendPrintAndWait(document)), "true");

  std::vector<std::string> jobs = print_system_.printer("Alpha")->waitForJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], expected) << "byte for byte";

  const std::vector<fs::path> files = labelFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::regex name(
      "corvella_[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.zpl");
  EXPECT_TRUE(std::regex_match(files[0].filename().string(), name)) << files[0];
  struct stat info {};
  ASSERT_EQ(lstat(files[0].c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadFile(files[0]), expected);
  EXPECT_TRUE(log.lines().empty()) << "success is not logged: " << log.lines()[0];
}

TEST_F(PrintZplEndToEnd, ARejectingQueueAnswersFalseAfterEveryAttempt) {
  ASSERT_TRUE(print_system_.rejectQueue("Alpha", "Paper out", reason_)) << reason_;
  LogCapture log;
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Alpha"}})), "true");
  EXPECT_EQ(Answer(*sendPrintAndWait("^XA^FDrejected^FS^XZ")), "false");
  std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("lp(file) failed (status ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("Alpha"), std::string::npos) << "lp's own reason: " << lines[0];
  EXPECT_EQ(lines[1].rfind("lpr(file) failed (status ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("/usr/bin/lp stdin failed: ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3].rfind("/usr/bin/lpr stdin failed: ", 0), 0u) << lines[3];
  EXPECT_EQ(labelFiles().size(), 1u) << "the file stays";
  // Nothing was queued, so the printer stays idle.
  ASSERT_TRUE(print_system_.acceptQueue("Alpha", reason_));
  ASSERT_EQ(Answer(*sendPrintAndWait("^XA^FDaccepted^FS^XZ")), "true");
  EXPECT_EQ(print_system_.printer("Alpha")->waitForJobs(1),
            std::vector<std::string>{"^XA^FDaccepted^FS^XZ"});
}

}  // namespace
}  // namespace corvella::testing
