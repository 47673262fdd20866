// corvella-print-system: the script that gives the demo and shell-level tests
// a private scheduler with queues bound to simulated printers.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/command_runner.h"
#include "tests/support/file_util.h"
#include "tests/support/print_system.h"
#include "tests/support/process_table.h"
#include "tests/support/scratch_directory.h"

namespace corvella::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kScript = CORVELLA_PRINT_SYSTEM_SCRIPT;

class PrintSystemScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason = PrintSystem::UnavailableReason();
    if (!reason.empty()) GTEST_SKIP() << reason;
    std::string error;
    ASSERT_TRUE(scratch_.create("corvella-script-test", &error)) << error;
  }
  ScratchDirectory scratch_;
};

TEST_F(PrintSystemScriptTest, RunsCommandAgainstItsQueuesAndRemovesEverything) {
  const std::string out = scratch_.path();
  const std::string label("^XA^FDfile\x00\xff^FS^XZ", 17);
  ASSERT_TRUE(WriteFile(out + "/label.zpl", label));
  // The command prints to both queues (Beta as the default), waits for the
  // jobs, copies them out and ends with status 7.
  const std::string command =
      "set -e\n"
      "echo \"dir=$CORVELLA_PRINT_DIR server=$CUPS_SERVER\"\n"
      "/usr/bin/lp -d Alpha -o raw '" +
      out +
      "/label.zpl' >/dev/null\n"
      "printf 'from stdin' | /usr/bin/lpr -o raw\n"
      "for i in $(seq 400); do\n"
      "  [ -f \"$CORVELLA_PRINT_DIR/printers/Alpha/job-000001.bin\" ] &&\n"
      "  [ -f \"$CORVELLA_PRINT_DIR/printers/Beta/job-000001.bin\" ] && break\n"
      "  sleep 0.05\n"
      "done\n"
      "cp \"$CORVELLA_PRINT_DIR/printers/Alpha/job-000001.bin\" '" +
      out +
      "/alpha'\n"
      "cp \"$CORVELLA_PRINT_DIR/printers/Beta/job-000001.bin\" '" +
      out +
      "/beta'\n"
      "exit 7\n";
  CommandOptions options;
  options.timeout = std::chrono::seconds(60);
  CommandResult result = RunCommand({kScript, "--queue", "Alpha", "--queue", "Beta", "--default",
                                     "Beta", "--", "/bin/sh", "-c", command},
                                    options);
  EXPECT_EQ(result.exit_code, 7) << Describe(result);
  EXPECT_EQ(ReadFile(out + "/alpha").value_or("(none)"), label);
  EXPECT_EQ(ReadFile(out + "/beta").value_or("(none)"), "from stdin");

  ASSERT_THAT(result.out, StartsWith("dir=/"));
  const std::string dir = result.out.substr(4, result.out.find(' ') - 4);
  EXPECT_THAT(result.out, HasSubstr("server=" + dir + "/cups.sock"));
  EXPECT_FALSE(PathExists(dir)) << dir;
  EXPECT_THAT(ProcessesMentioning(dir), IsEmpty());
}

TEST_F(PrintSystemScriptTest, QueueMayNameItsOwnDeviceUri) {
  LabelPrinter printer;
  ASSERT_TRUE(printer.start(scratch_.path() + "/own")) << printer.error();
  CommandResult result = RunCommand(
      {kScript, "--queue", "Own=" + printer.uri(), "--", "/bin/sh", "-c",
       "printf 'own device' | /usr/bin/lp -d Own -o raw >/dev/null && /usr/bin/lpstat -v Own"});
  EXPECT_EQ(result.exit_code, 0) << Describe(result);
  EXPECT_EQ(result.out, "device for Own: " + printer.uri() + "\n");
  // The job may still be on its way when the command returns; the scheduler
  // is stopped before it is sent, or after.
  std::vector<std::string> jobs = printer.waitForJobs(1, std::chrono::seconds(5));
  EXPECT_LE(jobs.size(), 1u);
  if (!jobs.empty()) {
    EXPECT_EQ(jobs[0], "own device");
  }
}

TEST_F(PrintSystemScriptTest, RefusesClearlyWithoutTheScheduler) {
  ::setenv("CORVELLA_CUPSD", "/nonexistent/cupsd", 1);
  CommandResult result = RunCommand({kScript, "--queue", "Alpha", "--", "/bin/true"});
  ::unsetenv("CORVELLA_CUPSD");
  EXPECT_EQ(result.exit_code, 77) << Describe(result);
  EXPECT_THAT(result.err, HasSubstr("/nonexistent/cupsd is missing"));
  EXPECT_THAT(result.err, HasSubstr("scripts/install-deps"));
}

TEST_F(PrintSystemScriptTest, RejectsBadArguments) {
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{kScript, "--colour"},
        {kScript, "--queue"},
        {kScript, "--queue", "bad name", "--", "/bin/true"}}) {
    CommandResult result = RunCommand(argv);
    EXPECT_EQ(result.exit_code, 2) << Describe(result);
    EXPECT_FALSE(result.err.empty());
  }
}

class PrintSystemScriptSignalTest : public PrintSystemScriptTest,
                                    public ::testing::WithParamInterface<int> {};

TEST_P(PrintSystemScriptSignalTest, SignalStopsEverythingAndRemovesTheDirectory) {
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  SpawnOptions spawn;
  spawn.stdout_fd = out[1];
  ChildProcess script;
  std::string error;
  bool started = script.start({kScript, "--queue", "Alpha"}, spawn, &error);
  ::close(out[1]);
  ASSERT_TRUE(started) << error;

  // Read until the second line (CORVELLA_PRINT_DIR=...) is complete.
  std::string text;
  char buffer[256];
  while (text.find("CORVELLA_PRINT_DIR=") == std::string::npos || text.back() != '\n') {
    ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    ASSERT_GT(n, 0) << "the script ended before it was ready: " << text;
    text.append(buffer, static_cast<size_t>(n));
  }
  size_t at = text.find("CORVELLA_PRINT_DIR=") + 19;
  const std::string dir = text.substr(at, text.find('\n', at) - at);
  EXPECT_THAT(text, HasSubstr("CUPS_SERVER=" + dir + "/cups.sock\n"));
  EXPECT_TRUE(PathExists(dir + "/cups.sock"));
  EXPECT_THAT(ProcessesMentioning(dir), ::testing::Not(IsEmpty()));

  ASSERT_TRUE(script.signal(GetParam()));
  auto status = script.wait(std::chrono::seconds(30));
  ASSERT_TRUE(status.has_value()) << "the script did not end";
  ASSERT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 128 + GetParam());
  EXPECT_FALSE(PathExists(dir)) << dir;
  EXPECT_THAT(ProcessesMentioning(dir), IsEmpty());
  // Nothing left behind holds the caller's output open: it reaches its end.
  pollfd output{out[0], POLLIN, 0};
  bool ended = false;
  for (int waited = 0; !ended && waited < 100; ++waited) {
    if (::poll(&output, 1, 100) <= 0) continue;
    ssize_t n = ::read(out[0], buffer, sizeof buffer);
    ended = n == 0;
  }
  ::close(out[0]);
  EXPECT_TRUE(ended) << "a process left behind still holds the script's output";
}

INSTANTIATE_TEST_SUITE_P(Signals, PrintSystemScriptSignalTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& signal) {
                           return signal.param == SIGINT ? "Interrupt" : "Terminate";
                         });

}  // namespace
}  // namespace corvella::testing
