// The print system leaves nothing behind: no scheduler, no printer, no
// backend, no directory; also when the test using it fails or dies.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/command_runner.h"
#include "tests/support/file_util.h"
#include "tests/support/print_system.h"
#include "tests/support/process_table.h"
#include "tests/support/scratch_directory.h"

namespace corvella::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kReportVariable = "CORVELLA_TEARDOWN_REPORT";

// What a print system consists of, as seen from outside.
struct Footprint {
  std::string directory;
  std::vector<pid_t> pids;  // cupsd and the printers
};

// Starts a print system with a recording queue and a stalled one that has a
// backend busy sending to it, so teardown has a job in flight to end.
void StartBusyPrintSystem(PrintSystem& system, Footprint& footprint) {
  ASSERT_TRUE(system.start()) << system.error();
  LabelPrinter* ok = system.addQueue("Ok");
  ASSERT_NE(ok, nullptr) << system.error();
  LabelPrinter* stalled = system.addQueue("Stalled", LabelPrinter::Mode::kStall);
  ASSERT_NE(stalled, nullptr) << system.error();
  footprint.directory = system.directory();
  footprint.pids = {system.scheduler().pid(), ok->pid(), stalled->pid()};

  CommandOptions big;
  big.input = std::string(8 << 20, 'x');  // far beyond the socket buffers
  CommandResult printed = RunCommand({"/usr/bin/lp", "-d", "Stalled", "-o", "raw"}, big);
  ASSERT_TRUE(printed.succeeded()) << Describe(printed);
  const std::string backend_marker = "CUPS_SERVERROOT=" + footprint.directory;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ProcessesWithEnvironment(backend_marker).empty()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no backend started";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// True while the process runs: it exists and is not a zombie. (An exiting
// process shows an empty command line before it becomes a zombie.)
bool Alive(pid_t pid) {
  auto stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return false;
  size_t close = stat->rfind(')');
  return close != std::string::npos && close + 2 < stat->size() && (*stat)[close + 2] != 'Z';
}

// Waits (bounded) until none of `pids` is alive and nothing runs that
// mentions `directory`; returns what is still there.
std::vector<pid_t> Survivors(const std::string& directory, const std::vector<pid_t>& pids) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (true) {
    std::vector<pid_t> left = ProcessesMentioning(directory);
    for (pid_t pid : pids) {
      if (Alive(pid)) left.push_back(pid);
    }
    if (left.empty() || std::chrono::steady_clock::now() >= deadline) return left;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(PrintSystemTeardownTest, NothingIsLeftAfterTheTest) {
  std::string reason = PrintSystem::UnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
  const char* before = std::getenv("CUPS_SERVER");
  const std::string cups_server_before = before ? before : "(unset)";
  Footprint footprint;
  {
    PrintSystem system;
    StartBusyPrintSystem(system, footprint);
    if (HasFatalFailure()) return;
    EXPECT_EQ(std::string(std::getenv("CUPS_SERVER")), system.cupsServer());
  }
  EXPECT_FALSE(PathExists(footprint.directory)) << footprint.directory;
  EXPECT_THAT(ProcessesMentioning(footprint.directory), IsEmpty());
  for (pid_t pid : footprint.pids) EXPECT_FALSE(Alive(pid)) << pid;
  const char* after = std::getenv("CUPS_SERVER");
  EXPECT_EQ(after ? std::string(after) : "(unset)", cups_server_before);
}

// Run only as a child of the tests below, which name it and say how to end.
TEST(PrintSystemTeardownTest, DISABLED_EndsBadly) {
  const char* report = std::getenv(kReportVariable);
  if (report == nullptr) GTEST_SKIP() << "runs only as a child of the teardown tests";
  PrintSystem system;
  Footprint footprint;
  StartBusyPrintSystem(system, footprint);
  ASSERT_FALSE(HasFatalFailure());
  std::string text = footprint.directory + "\n";
  for (pid_t pid : footprint.pids) text += std::to_string(pid) + "\n";
  ASSERT_TRUE(WriteFile(report, text));
  if (std::getenv("CORVELLA_TEARDOWN_KILL") != nullptr) ::raise(SIGKILL);
  ASSERT_TRUE(false) << "failing on purpose";
}

// Runs DISABLED_EndsBadly in a child test process; returns what it reported.
Footprint RunChild(bool kill_itself, CommandResult& result) {
  Footprint footprint;
  ScratchDirectory scratch;
  std::string error;
  if (!scratch.create("corvella-teardown", &error)) {
    ADD_FAILURE() << error;
    return footprint;
  }
  const std::string report = scratch.path() + "/report";
  ::setenv(kReportVariable, report.c_str(), 1);
  if (kill_itself) ::setenv("CORVELLA_TEARDOWN_KILL", "1", 1);
  CommandOptions options;
  options.timeout = std::chrono::seconds(120);
  result = RunCommand({"/proc/self/exe", "--gtest_also_run_disabled_tests",
                       "--gtest_filter=PrintSystemTeardownTest.DISABLED_EndsBadly"},
                      options);
  ::unsetenv(kReportVariable);
  ::unsetenv("CORVELLA_TEARDOWN_KILL");
  auto text = ReadFile(report);
  if (!text) {
    ADD_FAILURE() << "the child wrote no report: " << Describe(result);
    return footprint;
  }
  size_t start = 0;
  for (size_t end; (end = text->find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text->substr(start, end - start);
    if (footprint.directory.empty()) {
      footprint.directory = line;
    } else {
      footprint.pids.push_back(static_cast<pid_t>(std::stol(line)));
    }
  }
  return footprint;
}

TEST(PrintSystemTeardownTest, NothingIsLeftAfterAFailingTest) {
  std::string reason = PrintSystem::UnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
  CommandResult child;
  Footprint footprint = RunChild(false, child);
  ASSERT_FALSE(footprint.directory.empty());
  EXPECT_EQ(child.exit_code, 1) << Describe(child);
  EXPECT_THAT(child.out, HasSubstr("failing on purpose"));
  EXPECT_THAT(child.out, HasSubstr("[  FAILED  ] PrintSystemTeardownTest.DISABLED_EndsBadly"));

  EXPECT_FALSE(PathExists(footprint.directory)) << footprint.directory;
  EXPECT_THAT(ProcessesMentioning(footprint.directory), IsEmpty());
  ASSERT_EQ(footprint.pids.size(), 3u);
  for (pid_t pid : footprint.pids) EXPECT_FALSE(Alive(pid)) << pid;
}

// A test process that dies without running destructors still takes its
// scheduler and printers with it (they get SIGTERM when it dies); only the
// directory is left, for the next tmp cleaning.
TEST(PrintSystemTeardownTest, KilledTestProcessTakesSchedulerAndPrintersDown) {
  std::string reason = PrintSystem::UnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
  CommandResult child;
  Footprint footprint = RunChild(true, child);
  ASSERT_FALSE(footprint.directory.empty());
  EXPECT_EQ(child.term_signal, SIGKILL) << Describe(child);

  ASSERT_EQ(footprint.pids.size(), 3u);
  EXPECT_THAT(Survivors(footprint.directory, footprint.pids), IsEmpty());
  EXPECT_TRUE(RemoveTree(footprint.directory));
}

}  // namespace
}  // namespace corvella::testing
