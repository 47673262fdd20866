// Printing through a private scheduler to simulated label printers with the
// bare CUPS tools: what arrives, where, and what the queue states look like.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/command_runner.h"
#include "tests/support/file_util.h"
#include "tests/support/print_system.h"
#include "tests/support/scratch_directory.h"

namespace corvella::testing {
namespace {

using ::testing::HasSubstr;

// Bytes that a text-mode path would damage: NUL, CR LF, high bytes, ESC, and
// a size beyond one pipe or socket buffer.
std::string BinaryLabel(char seed) {
  std::string bytes = "^XA^FO50,50^A0N,40,40^FDCaf\xc3\xa9 \xe2\x82\xac^FS^XZ\r\n";
  bytes += std::string("\x00\xff\x1b\x7f\r\n", 6);
  unsigned state = static_cast<unsigned char>(seed);
  for (int i = 0; i < 300000; ++i) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(state >> 16));
  }
  return bytes;
}

class PrintQueueTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    alpha_ = print_system_.addQueue("Alpha");
    ASSERT_NE(alpha_, nullptr) << print_system_.error();
    beta_ = print_system_.addQueue("Beta");
    ASSERT_NE(beta_, nullptr) << print_system_.error();
    std::string error;
    ASSERT_TRUE(files_.create("corvella-test-files", &error)) << error;
  }

  std::string writeFile(const std::string& name, const std::string& contents) {
    std::string path = files_.path() + "/" + name;
    EXPECT_TRUE(WriteFile(path, contents)) << path;
    return path;
  }

  static CommandResult Run(const std::vector<std::string>& argv, const std::string& input = "") {
    CommandOptions options;
    options.input = input;
    return RunCommand(argv, options);
  }

  LabelPrinter* alpha_ = nullptr;
  LabelPrinter* beta_ = nullptr;
  ScratchDirectory files_;
};

TEST_F(PrintQueueTest, FileAndStandardInputArriveByteExactAtTheirOwnPrinter) {
  const std::string file_for_alpha = BinaryLabel('a');
  const std::string stdin_for_beta = BinaryLabel('b');
  const std::string file_for_beta = "^XA^FDsmall^FS^XZ";
  const std::string stdin_for_alpha = std::string("\x00\x01\x02 tail", 8);

  CommandResult lp_file =
      Run({"/usr/bin/lp", "-d", "Alpha", "-o", "raw", writeFile("alpha.zpl", file_for_alpha)});
  ASSERT_TRUE(lp_file.succeeded()) << Describe(lp_file);
  EXPECT_THAT(lp_file.out, HasSubstr("request id is Alpha-"));
  CommandResult lp_stdin = Run({"/usr/bin/lp", "-d", "Beta", "-o", "raw"}, stdin_for_beta);
  ASSERT_TRUE(lp_stdin.succeeded()) << Describe(lp_stdin);
  EXPECT_THAT(lp_stdin.out, HasSubstr("request id is Beta-"));

  // One job at a time per queue: wait so the second job's place is certain.
  ASSERT_EQ(alpha_->waitForJobs(1, std::chrono::seconds(20)).size(), 1u);
  ASSERT_EQ(beta_->waitForJobs(1, std::chrono::seconds(20)).size(), 1u);

  CommandResult lpr_file =
      Run({"/usr/bin/lpr", "-P", "Beta", "-o", "raw", writeFile("beta.zpl", file_for_beta)});
  ASSERT_TRUE(lpr_file.succeeded()) << Describe(lpr_file);
  CommandResult lpr_stdin = Run({"/usr/bin/lpr", "-P", "Alpha", "-o", "raw"}, stdin_for_alpha);
  ASSERT_TRUE(lpr_stdin.succeeded()) << Describe(lpr_stdin);

  std::vector<std::string> alpha_jobs = print_system_.waitForJobs("Alpha", 2);
  std::vector<std::string> beta_jobs = print_system_.waitForJobs("Beta", 2);
  ASSERT_EQ(alpha_jobs.size(), 2u) << print_system_.scheduler().errorLogTail();
  ASSERT_EQ(beta_jobs.size(), 2u) << print_system_.scheduler().errorLogTail();
  // EXPECT_TRUE rather than EXPECT_EQ: a mismatch would print 300 kB.
  EXPECT_TRUE(alpha_jobs[0] == file_for_alpha)
      << "Alpha job 1: " << alpha_jobs[0].size() << " bytes";
  EXPECT_TRUE(alpha_jobs[1] == stdin_for_alpha)
      << "Alpha job 2: " << alpha_jobs[1].size() << " bytes";
  EXPECT_TRUE(beta_jobs[0] == stdin_for_beta) << "Beta job 1: " << beta_jobs[0].size() << " bytes";
  EXPECT_EQ(beta_jobs[1], file_for_beta);
}

TEST_F(PrintQueueTest, DefaultQueueTakesJobsWithoutDestination) {
  ASSERT_TRUE(print_system_.scheduler().setDefault("Beta")) << print_system_.scheduler().error();
  CommandResult shown = Run({"/usr/bin/lpstat", "-d"});
  ASSERT_TRUE(shown.succeeded()) << Describe(shown);
  EXPECT_EQ(shown.out, "system default destination: Beta\n");

  CommandResult printed = Run({"/usr/bin/lp", "-o", "raw"}, "to the default");
  ASSERT_TRUE(printed.succeeded()) << Describe(printed);
  EXPECT_EQ(beta_->waitForJobs(1, std::chrono::seconds(20)),
            std::vector<std::string>{"to the default"});
  EXPECT_TRUE(alpha_->jobs().empty());
}

TEST_F(PrintQueueTest, RejectingQueueShowsReasonAsContinuationLine) {
  ASSERT_TRUE(print_system_.scheduler().rejectQueue("Beta", "Paper out"))
      << print_system_.scheduler().error();
  CommandResult listing = Run({"/usr/bin/lpstat", "-a"});
  ASSERT_TRUE(listing.succeeded()) << Describe(listing);
  // Alpha accepts; Beta's line is followed by exactly "\tPaper out".
  EXPECT_THAT(listing.out, HasSubstr("Alpha accepting requests since "));
  size_t beta = listing.out.find("Beta not accepting requests since ");
  ASSERT_NE(beta, std::string::npos) << listing.out;
  size_t line_end = listing.out.find('\n', beta);
  ASSERT_NE(line_end, std::string::npos) << listing.out;
  EXPECT_EQ(listing.out.substr(line_end + 1, 11), "\tPaper out\n") << listing.out;

  CommandResult refused = Run({"/usr/bin/lp", "-d", "Beta", "-o", "raw"}, "refused");
  EXPECT_FALSE(refused.succeeded()) << Describe(refused);
  EXPECT_THAT(refused.err, HasSubstr("not accepting")) << Describe(refused);

  ASSERT_TRUE(print_system_.scheduler().acceptQueue("Beta")) << print_system_.scheduler().error();
  CommandResult accepted = Run({"/usr/bin/lp", "-d", "Beta", "-o", "raw"}, "accepted");
  ASSERT_TRUE(accepted.succeeded()) << Describe(accepted);
  EXPECT_EQ(beta_->waitForJobs(1, std::chrono::seconds(20)), std::vector<std::string>{"accepted"});
}

TEST_F(PrintQueueTest, DisabledQueueHoldsJobsUntilEnabled) {
  ASSERT_TRUE(print_system_.scheduler().disableQueue("Alpha", "Head open"))
      << print_system_.scheduler().error();
  CommandResult printed = Run({"/usr/bin/lp", "-d", "Alpha", "-o", "raw"}, "held");
  ASSERT_TRUE(printed.succeeded()) << Describe(printed);

  CommandResult status = Run({"/usr/bin/lpstat", "-p", "Alpha"});
  ASSERT_TRUE(status.succeeded()) << Describe(status);
  EXPECT_THAT(status.out, HasSubstr("printer Alpha disabled since "));
  EXPECT_THAT(status.out, HasSubstr("\n\tHead open\n"));
  CommandResult queued = Run({"/usr/bin/lpstat", "-o", "Alpha"});
  EXPECT_THAT(queued.out, HasSubstr("Alpha-")) << Describe(queued);
  EXPECT_TRUE(alpha_->jobs().empty());

  ASSERT_TRUE(print_system_.scheduler().enableQueue("Alpha")) << print_system_.scheduler().error();
  EXPECT_EQ(alpha_->waitForJobs(1, std::chrono::seconds(20)), std::vector<std::string>{"held"});
}

TEST_F(PrintQueueTest, RestartedSchedulerKeepsItsQueues) {
  PrivateScheduler& scheduler = print_system_.scheduler();
  const pid_t first = scheduler.pid();
  ASSERT_TRUE(scheduler.stop()) << scheduler.error();
  EXPECT_FALSE(scheduler.running());
  CommandResult down = Run({"/usr/bin/lpstat", "-r"});
  EXPECT_EQ(down.out, "scheduler is not running\n") << Describe(down);
  CommandResult refused = Run({"/usr/bin/lp", "-d", "Alpha", "-o", "raw"}, "while down");
  EXPECT_FALSE(refused.succeeded()) << Describe(refused);

  ASSERT_TRUE(scheduler.start()) << scheduler.error();
  EXPECT_NE(scheduler.pid(), first);
  CommandResult devices = Run({"/usr/bin/lpstat", "-v"});
  EXPECT_THAT(devices.out, HasSubstr("device for Alpha: " + alpha_->uri())) << Describe(devices);
  EXPECT_THAT(devices.out, HasSubstr("device for Beta: " + beta_->uri())) << Describe(devices);
  CommandResult printed = Run({"/usr/bin/lp", "-d", "Alpha", "-o", "raw"}, "after restart");
  ASSERT_TRUE(printed.succeeded()) << Describe(printed);
  EXPECT_EQ(alpha_->waitForJobs(1, std::chrono::seconds(20)),
            std::vector<std::string>{"after restart"});
}

// Two print systems side by side (as two test processes under ctest -j2 are)
// share neither the scheduler, the queue names nor the printers.
TEST(PrivateSchedulerTest, TwoSchedulersAreIndependent) {
  std::string reason = PrintSystem::UnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
  PrivateScheduler::Options options;
  options.export_cups_server = false;
  PrintSystem first(options);
  PrintSystem second(options);
  ASSERT_TRUE(first.start()) << first.error();
  ASSERT_TRUE(second.start()) << second.error();
  EXPECT_NE(first.cupsServer(), second.cupsServer());
  LabelPrinter* one = first.addQueue("Same");
  ASSERT_NE(one, nullptr) << first.error();
  LabelPrinter* two = second.addQueue("Same");
  ASSERT_NE(two, nullptr) << second.error();
  EXPECT_NE(one->port(), two->port());

  CommandOptions to_first;
  to_first.input = "for the first";
  CommandResult a =
      RunCommand({"/usr/bin/lp", "-h", first.cupsServer(), "-d", "Same", "-o", "raw"}, to_first);
  ASSERT_TRUE(a.succeeded()) << Describe(a);
  CommandOptions to_second;
  to_second.input = "for the second";
  CommandResult b =
      RunCommand({"/usr/bin/lp", "-h", second.cupsServer(), "-d", "Same", "-o", "raw"}, to_second);
  ASSERT_TRUE(b.succeeded()) << Describe(b);

  EXPECT_EQ(one->waitForJobs(1, std::chrono::seconds(20)),
            std::vector<std::string>{"for the first"});
  EXPECT_EQ(two->waitForJobs(1, std::chrono::seconds(20)),
            std::vector<std::string>{"for the second"});
}

}  // namespace
}  // namespace corvella::testing
