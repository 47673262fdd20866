#include "process/process_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_print_system/scratch_directory.h"
#include "tests/support/log_capture.h"

namespace {

namespace fs = std::filesystem;
using corvella::ProcessRunner;
using corvella::ShellStatus;
using corvella::testing::LogCapture;
using corvella::testing::ScratchDirectory;

const std::string kChild = PROCESS_TEST_CHILD;
constexpr size_t kTenMiB = 10u << 20;

std::vector<std::string> Args(std::initializer_list<std::string> args) { return args; }

// ---- Programs that cannot be started.

TEST(LaunchFailure, EveryOperationReportsItAsAValueAndLogsWhereItShould) {
  ScratchDirectory scratch;
  std::string error;
  ASSERT_TRUE(scratch.create("corvella-process", error)) << error;
  const fs::path dir = scratch.path();
  const fs::path not_executable = dir / "plain-file";
  std::ofstream(not_executable) << "#!/bin/sh\nexit 0\n";
  const std::string paths[] = {(dir / "missing").string(), not_executable.string(), dir.string()};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    LogCapture log;
    EXPECT_EQ(ProcessRunner::runShellOut(path, {}), std::nullopt);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("runShellOut error: ", 0), 0u);
    EXPECT_NE(log.lines()[0].find(path), std::string::npos) << "the line names the program";

    ShellStatus status = ProcessRunner::runShellStatus(path, {"-x"});
    EXPECT_EQ(status.status, -1);
    ASSERT_TRUE(status.text.has_value());
    EXPECT_NE(status.text->find(path), std::string::npos);
    EXPECT_EQ(log.lines().size(), 1u) << "runShellStatus logs nothing";

    EXPECT_EQ(ProcessRunner::runShellStatusWithInput(path, {}, "label"), -1);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[1].rfind("runShellStatusWithInput error: ", 0), 0u);
  }
  // The reasons differ: a missing program is not a permission problem.
  EXPECT_NE(ProcessRunner::runShellStatus(paths[0], {}).text,
            ProcessRunner::runShellStatus(paths[1], {}).text);
}

// ---- What comes back from a child that ran.

TEST(CapturedText, IsItsOwnStreamUnchangedWithTheCodeOrSignalAsTheStatus) {
  LogCapture log;
  EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"print", "Q1 one\nQ2 two\n", "", "1"})),
            "Q1 one\nQ2 two\n");
  EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"print", "", "to stderr\n", "0"})), "")
      << "empty is present";
  ShellStatus status =
      ProcessRunner::runShellStatus(kChild, Args({"print", "to stdout\n", "  err \n", "2"}));
  EXPECT_EQ(status.status, 2);
  EXPECT_EQ(status.text, "  err \n");
  EXPECT_EQ(ProcessRunner::runShellStatus(kChild, Args({"print", "", "", "4"})).text, "");
  EXPECT_TRUE(log.lines().empty());
  // The status is the exit code, or the number of the signal that ended the child.
  EXPECT_EQ(ProcessRunner::runShellStatus(kChild, Args({"exit", "0"})).status, 0);
  EXPECT_EQ(ProcessRunner::runShellStatus(kChild, Args({"exit", "255"})).status, 255);
  EXPECT_EQ(ProcessRunner::runShellStatus(kChild, Args({"signal", std::to_string(SIGKILL)})).status,
            SIGKILL);
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild,
                                                   Args({"signal", std::to_string(SIGTERM)}), "x"),
            SIGTERM);
}

TEST(CapturedText, BytesThatAreNotStrictUtf8GiveNoText) {
  LogCapture log;
  // 0xFF, an overlong "/", a UTF-16 surrogate, a truncated euro sign, above U+10FFFF.
  for (const char* bad : {"41ff42", "c0af", "eda080", "e282", "f4908080"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"hex", bad, ""})), std::nullopt);
    ShellStatus status = ProcessRunner::runShellStatus(kChild, Args({"hex", "", bad}));
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(status.text, std::nullopt);
  }
  EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"hex", "e282ac20f09f8fb7", ""})),
            "\u20ac \U0001F3F7");
  EXPECT_TRUE(log.lines().empty());
}

// ---- Standard input.

TEST(StandardInput, ArrivesWholeAndIsClosedAndStandardErrorIsLoggedLiterally) {
  LogCapture log;
  const std::string document = "^XA^FO50,50^FD100% %s %n ok^FS\r\n^XZ";
  EXPECT_EQ(
      ProcessRunner::runShellStatusWithInput(kChild, Args({"echo-stdin-to-stderr", "0"}), document),
      0);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0], kChild + " stdin failed: " + document)
      << "logged whatever the status, untrimmed, with no format directive applied";

  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"count-stdin"}), ""), 0);
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[1], kChild + " stdin failed: read 0\n") << "empty input: end at once";
}

TEST(StandardInput, BlankOrNonUtf8StandardErrorIsNotLogged) {
  LogCapture log;
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"echo-stdin-to-stderr", "6"}),
                                                   " \t\r\n\u3000"),
            6);
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"hex", "", "ff"}), "x"), 0);
  EXPECT_TRUE(log.lines().empty());
}

TEST(StandardInput, AChildThatStopsReadingEndsTheWriteWithoutHarmingTheHost) {
  // SIGPIPE keeps its default action here: should the runner let it reach
  // the host, this test process would die.
  const std::string eight_mib(8u << 20, 'Z');
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"exit", "5"}), eight_mib), 5);
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"close-stdin"}), eight_mib), 3);
  sigset_t pending;
  sigemptyset(&pending);
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "no SIGPIPE is left pending";
  sigset_t mask;
  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, nullptr, &mask), 0);
  EXPECT_FALSE(sigismember(&mask, SIGPIPE)) << "the thread's mask is restored";
  struct sigaction action;
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &action), 0);
  EXPECT_EQ(action.sa_handler, SIG_DFL) << "the process-wide disposition is untouched";
}

TEST(StandardInput, StillWorksWhenTheHostRunsWithItsStandardStreamsClosed) {
  // With 0 closed, the next pipe lands on descriptor 0; the child must
  // still get the pipe as its standard input and not lose it to
  // close-on-exec.
  ASSERT_EQ(close(STDIN_FILENO), 0);
  LogCapture log;
  EXPECT_EQ(
      ProcessRunner::runShellStatusWithInput(kChild, Args({"echo-stdin-to-stderr", "0"}), "^XA^XZ"),
      0);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0], kChild + " stdin failed: ^XA^XZ");
}

// ---- Children with a lot to say.

TEST(LargeStreams, TenMiBOnBothStreamsAtOnceNeverBlocksAnyOperation) {
  const std::vector<std::string> flood = {"flood", std::to_string(kTenMiB),
                                          std::to_string(kTenMiB)};
  std::optional<std::string> out = ProcessRunner::runShellOut(kChild, flood);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->size(), kTenMiB);
  EXPECT_EQ(out->find_first_not_of('o'), std::string::npos);

  ShellStatus status = ProcessRunner::runShellStatus(kChild, flood);
  EXPECT_EQ(status.status, 0);
  ASSERT_TRUE(status.text.has_value());
  EXPECT_EQ(status.text->size(), kTenMiB);
  EXPECT_EQ(status.text->find_first_not_of('e'), std::string::npos);

  LogCapture log;
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, flood, std::string(kTenMiB, 'i')), 0);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].size(), kChild.size() + std::string(" stdin failed: ").size() + kTenMiB);
}

// ---- What the child inherits, and what it must not.

TEST(ChildStart, ArgumentsArriveUnchangedAndOneByOne) {
  const std::vector<std::string> args = {"args",         "two words", "\"quoted\" 'too'",
                                         "-d",           "--o=raw",   "*",
                                         "$HOME `id` ;", "",          "Étiquette 標籤 🏷"};
  std::optional<std::string> out = ProcessRunner::runShellOut(kChild, args);
  ASSERT_TRUE(out.has_value());
  std::string expected;
  for (size_t i = 1; i < args.size(); ++i) expected += args[i] + '\0';
  EXPECT_EQ(*out, expected);
}

TEST(ChildStart, InheritsEnvironmentAndDirectoryButNotTheHostsSignalsSessionOrInput) {
  ASSERT_EQ(setenv("CORVELLA_PROBE", "value 1", 1), 0);
  EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"env", "CORVELLA_PROBE"})),
            "value 1\n" + fs::current_path().string());
  // A session of its own (no terminal, no terminal's signals), and nothing
  // of the host's standard input, which may be a terminal or the link.
  EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"session"})), "leader /dev/null");

  // A host that ignores SIGPIPE and blocks other signals on the calling
  // thread hands neither to the child.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old;
  ASSERT_EQ(sigaction(SIGPIPE, &ignore, &old), 0);
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, nullptr), 0);
  EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"signal-state"})), "default unblocked");
  EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"exit", "0"}),
                                                   std::string(1 << 20, 'x')),
            0);
  struct sigaction now;
  ASSERT_EQ(sigaction(SIGPIPE, &old, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_IGN) << "the host's own disposition is left as it is";
}

std::set<std::string> OpenDescriptors() {
  std::set<std::string> fds;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    fds.insert(entry.path().filename().string());
  }
  return fds;
}

TEST(ChildStart, TheChildGetsOnlyItsThreeStandardStreams) {
  // A descriptor opened without close-on-exec, as a careless library might.
  int careless = open("/dev/null", O_RDONLY);
  ASSERT_GE(careless, 0);
  // Another thread opening and closing descriptors all the while.
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd >= 0) close(fd);
    }
  });
  for (int run = 0; run < 50; ++run) {
    EXPECT_EQ(ProcessRunner::runShellOut(kChild, Args({"fds"})), "0\n1\n2\n");
    EXPECT_EQ(ProcessRunner::runShellStatusWithInput(kChild, Args({"fds"}), ""), 0);
  }
  stop = true;
  churn.join();
  close(careless);
}

TEST(ChildStart, NoDescriptorOrChildOutlivesACall) {
  const std::set<std::string> before = OpenDescriptors();
  for (int run = 0; run < 20; ++run) {
    ProcessRunner::runShellOut(kChild, Args({"print", "x", "y", "1"}));
    ProcessRunner::runShellStatus(kChild, Args({"flood", "100000", "100000"}));
    ProcessRunner::runShellStatusWithInput(kChild, Args({"exit", "0"}), std::string(1 << 20, 'x'));
    ProcessRunner::runShellStatus("/nonexistent/program", {});
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "every child has been waited for";
  EXPECT_EQ(errno, ECHILD);
}

// ---- Calls from many threads at once.

TEST(Concurrency, SixtyFourRunsOnThreadsOfTheirOwnEachGetTheirOwnResults) {
  constexpr int kRuns = 64;
  std::vector<std::optional<std::string>> outputs(kRuns);
  std::vector<int32_t> statuses(kRuns, -2);
  std::vector<std::thread> threads;
  for (int i = 0; i < kRuns; ++i) {
    threads.emplace_back([i, &outputs, &statuses] {
      const std::string id = std::to_string(i);
      outputs[static_cast<size_t>(i)] =
          ProcessRunner::runShellOut(kChild, Args({"print", id, "", "0"}));
      statuses[static_cast<size_t>(i)] =
          ProcessRunner::runShellStatusWithInput(kChild, Args({"echo-stdin-to-stderr", id}), id);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kRuns; ++i) {
    EXPECT_EQ(outputs[static_cast<size_t>(i)], std::to_string(i));
    EXPECT_EQ(statuses[static_cast<size_t>(i)], i);
  }
}

}  // namespace
