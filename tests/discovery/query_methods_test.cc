#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test_print_system/file_util.h"
#include "test_print_system/scoped_environment.h"
#include "test_print_system/scratch_directory.h"
#include "tests/support/channel_harness.h"
#include "zebra_printer_plugin_private.h"

namespace {

namespace fs = std::filesystem;
using corvella::PrintTools;
using corvella::testing::ChannelHarness;
using corvella::testing::Describe;
using corvella::testing::TextMap;

// Runs the query methods against an lpstat stand-in whose answers the test
// sets, and a CUPS_SERVER that reaches no scheduler, so the platform list is
// empty and the machine's own print system is never asked.
class QueryMethods : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(scratch_.create("corvella-query", error)) << error;
    dir_ = scratch_.path();
    cups_server_.set((dir_ / "no-scheduler.sock").c_str());
    lpstat_ = dir_ / "lpstat";
    std::ofstream(lpstat_) << "#!/bin/sh\n"
                           << "echo \"$1\" >> '" << (dir_ / "calls").string() << "'\n"
                           << "case \"$1\" in\n"
                           << "  -a) cat '" << (dir_ / "a").string() << "' ;;\n"
                           << "  -d) cat '" << (dir_ / "d").string() << "' ;;\n"
                           << "esac\n";
    ASSERT_EQ(chmod(lpstat_.c_str(), 0755), 0);
    answer("-a", "");
    answer("-d", "");
    PrintTools tools;
    tools.lpstat = lpstat_.string();
    RegisterZebraPrinterPlugin(harness_.registrar("ZebraPrinterPlugin"), tools);
  }

  void answer(const std::string& flag, const std::string& text) {
    std::ofstream(dir_ / (flag == "-a" ? "a" : "d")) << text;
  }
  std::string calls() {
    std::string all = corvella::testing::ReadFile(dir_ / "calls").value_or("");
    fs::remove(dir_ / "calls");
    return all;
  }

  corvella::testing::ScratchDirectory scratch_;
  corvella::testing::ScopedEnvironment cups_server_{"CUPS_SERVER", getenv("CUPS_SERVER")};
  fs::path dir_;
  fs::path lpstat_;
  ChannelHarness harness_;
};

TEST_F(QueryMethods, ListAndDefaultAreAnsweredFromTheMainQueueAfterTheHandler) {
  answer("-a", "Q1 accepting requests since today\nQ2 not accepting -\n\tRejecting Jobs\n");
  answer("-d", "system default destination: Q2\n");
  auto list = harness_.send("getAvailablePrinters");
  auto fallback = harness_.send("getDefaultPrinter");
  EXPECT_TRUE(list->replies.empty()) << "must not be answered inside the handler";
  EXPECT_TRUE(fallback->replies.empty());
  harness_.runUntilIdle();
  ASSERT_EQ(list->replies.size(), 1u);
  ASSERT_EQ(fallback->replies.size(), 1u);
  EXPECT_EQ(corvella::testing::Answer(*list), R"(["Q1","Q2"])");
  EXPECT_EQ(corvella::testing::Answer(*fallback), R"("Q2")");
}

TEST_F(QueryMethods, DefaultFallsBackToTheFirstListedPrinter) {
  answer("-a", "First x\nSecond y\n");
  answer("-d", "no system default destination\n");
  EXPECT_EQ(harness_.call("getDefaultPrinter"), R"("First")");
  EXPECT_EQ(calls(), "-d\n-a\n") << "-d first, then the list";
  answer("-a", "");
  EXPECT_EQ(harness_.call("getDefaultPrinter"), R"("")") << "empty text, never nothing";
  EXPECT_EQ(harness_.call("getAvailablePrinters"), "[]");
}

TEST_F(QueryMethods, ConnectToDefaultSelectsInsideTheHandlerOrKeepsTheSelection) {
  ASSERT_EQ(harness_.call("connectToPrinter", TextMap({{"printerName", "Earlier"}})), "true");
  // Nothing to find: false, and the earlier selection stays.
  auto none = harness_.send("connectToDefaultPrinter");
  ASSERT_EQ(none->replies.size(), 1u) << "answered before the handler returns";
  EXPECT_EQ(corvella::testing::Answer(*none), "false");
  EXPECT_EQ(harness_.call("getPrinterStatus"),
            Describe(TextMap({{"connected", true}, {"printerName", "Earlier"}})));

  answer("-d", "system default destination:  Zebra Label \n");
  EXPECT_EQ(harness_.call("connectToDefaultPrinter"), "true");
  EXPECT_EQ(harness_.call("getPrinterStatus"),
            Describe(TextMap({{"connected", true}, {"printerName", "Zebra Label"}})));
}

TEST_F(QueryMethods, ALpstatThatCannotRunOrPrintsNoTextGivesEmptyAnswers) {
  ASSERT_EQ(chmod(lpstat_.c_str(), 0644), 0);
  EXPECT_EQ(harness_.call("getAvailablePrinters"), "[]");
  EXPECT_EQ(harness_.call("getDefaultPrinter"), R"("")");
  EXPECT_EQ(harness_.call("connectToDefaultPrinter"), "false");
  ASSERT_EQ(chmod(lpstat_.c_str(), 0755), 0);
  answer("-a", "Bad\xff name\n");
  EXPECT_EQ(harness_.call("getAvailablePrinters"), "[]") << "output that is not UTF-8 is no text";
}

}  // namespace
