// "printZPL" through the channel, with lp and lpr replaced by scripts.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/submission/scripted_print_tools.h"
#include "tests/support/channel_harness.h"
#include "zebra_printer_plugin_private.h"

namespace {

namespace fs = std::filesystem;
using corvella::testing::Answer;
using corvella::testing::ChannelHarness;
using corvella::testing::Describe;
using corvella::testing::TextMap;
using Mode = corvella::testing::ScriptedPrintTools::Mode;

class PrintZplChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterZebraPrinterPlugin(harness_.registrar("ZebraPrinterPlugin"), tools_.tools());
  }
  std::string print(const std::string& zpl) {
    return harness_.call("printZPL", TextMap({{"zplCommands", zpl}}));
  }

  corvella::testing::ScriptedPrintTools tools_;
  ChannelHarness harness_;
};

TEST_F(PrintZplChannel, ARefusedCallRunsNoToolAndEmptyTextIsADocument) {
  // Every refusal's answer is checked call by call in the session tests.
  EXPECT_EQ(print("^XZ"), corvella::testing::ErrorAnswer("NO_PRINTER", "No printer connected"));
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Zebra"}})), "true");
  EXPECT_EQ(harness_.call("printZPL", TextMap({{"zplCommands", 7}})),
            corvella::testing::ErrorAnswer("INVALID_ARGUMENTS", "zplCommands is required"));
  EXPECT_EQ(tools_.calls(), "") << "no tool runs for a refused call";
  EXPECT_TRUE(tools_.temporaryFiles().empty());

  EXPECT_EQ(print(""), "true") << "empty text is a document";
  auto jobs = tools_.printed();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].second, "^XZ");
}

TEST_F(PrintZplChannel, IsAnsweredAfterTheHandlerWithTheSubmissionsOutcome) {
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Zebra"}})), "true");
  auto log = harness_.send("printZPL", TextMap({{"zplCommands", "^XA^XZ"}}));
  EXPECT_TRUE(log->replies.empty()) << "the submission runs off the main thread";
  harness_.runUntilIdle();
  ASSERT_EQ(log->replies.size(), 1u);
  EXPECT_EQ(Answer(*log), "true");

  for (const char* tool : {"lp", "lpr"}) {
    tools_.setStatus(tool, Mode::kFile, 1);
    tools_.setStatus(tool, Mode::kStdin, 1);
  }
  EXPECT_EQ(print("^XA^XZ"), "false") << "a failed submission is an answer, not an error";
}

TEST_F(PrintZplChannel, ThirtyTwoPrintsAtOnceAreAllAnsweredAndKeptApart) {
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Zebra"}})), "true");
  std::vector<std::shared_ptr<corvella::testing::ReplyLog>> logs;
  std::set<std::string> documents;
  for (int i = 0; i < 32; ++i) {
    const std::string zpl = "^XA\n^FD" + std::to_string(i) + "^FS\n^XZ";
    documents.insert("^XA\r\n^FD" + std::to_string(i) + "^FS\r\n^XZ");
    logs.push_back(harness_.send("printZPL", TextMap({{"zplCommands", zpl}})));
  }
  harness_.runUntilIdle();
  for (const auto& log : logs) {
    ASSERT_EQ(log->replies.size(), 1u);
    EXPECT_EQ(Answer(*log), "true");
  }
  std::set<std::string> files;
  for (const fs::path& file : tools_.temporaryFiles()) {
    files.insert(corvella::testing::ReadFile(file).value_or(""));
  }
  EXPECT_EQ(files, documents) << "one file per call, each with its own document";
  std::set<std::string> printed;
  for (const auto& job : tools_.printed()) printed.insert(job.second);
  EXPECT_EQ(printed, documents);
}

TEST_F(PrintZplChannel, AToolThatStopsReadingALargeDocumentLeavesTheHostRunning) {
  // The file attempts fail; both standard-input tools exit at once, without
  // reading 8 MiB that do not fit in a pipe.
  for (const char* tool : {"lp", "lpr"}) {
    tools_.setStatus(tool, Mode::kFile, 1);
    tools_.takeNothing(tool, Mode::kStdin);
    tools_.setStatus(tool, Mode::kStdin, 1);
  }
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Zebra"}})), "true");
  const std::string large(8u << 20, 'L');
  EXPECT_EQ(print(large), "false");
  tools_.setStatus("lpr", Mode::kStdin, 0);
  EXPECT_EQ(print(large), "true") << "the tool's own status decides";
  EXPECT_EQ(harness_.call("getPrinterStatus"),
            Describe(TextMap({{"connected", true}, {"printerName", "Zebra"}})));
}

}  // namespace
