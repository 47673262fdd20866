// ZPL submission with lp and lpr replaced by scripts: what is written, what
// is run in which order with which arguments, what is logged.
#include "submission/zpl_submission.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "submission/zpl_document.h"
#include "tests/submission/scripted_print_tools.h"
#include "tests/support/log_capture.h"

namespace {

namespace fs = std::filesystem;
using corvella::ZplSubmission;
using corvella::testing::LogCapture;
using corvella::testing::ReadFile;
using Mode = corvella::testing::ScriptedPrintTools::Mode;

// What a file attempt's tool is given to read: the call's own descriptor.
const std::string kCallsFile = "/dev/fd/3";

const std::regex kFileName(
    "corvella_[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.zpl");

class Submission : public ::testing::Test {
 protected:
  bool submit(std::string_view zpl, const std::string& printer = "Zebra") {
    return ZplSubmission(tools_.tools()).submitZplToPrinter(printer, zpl);
  }

  // The one file in the temporary directory.
  fs::path onlyTemporaryFile() {
    std::vector<fs::path> files = tools_.temporaryFiles();
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? fs::path() : files[0];
  }

  // "TOOL [-d|-P] [Zebra] [-o] [raw] [LAST]", the line a tool logs for a run.
  static std::string run(const std::string& tool, const std::string& last,
                         const std::string& printer = "Zebra") {
    return tool + (tool == "lp" ? " [-d] [" : " [-P] [") + printer + "] [-o] [raw] [" + last +
           "]\n";
  }

  corvella::testing::ScriptedPrintTools tools_;
  LogCapture log_;
};

TEST_F(Submission, TheFileAndTheJobHoldTheCompletedDocumentWithCrLfLineEnds) {
  const struct {
    std::string document;
    std::string expected;
  } cases[] = {
      // The rules themselves are the normaliser's (zpl_document_test); these
      // show that the file and the job are its output.
      {"^XA^FO50,50^FDlabel^FS^XZ", "^XA^FO50,50^FDlabel^FS^XZ"},  // no line end added
      {"", "^XZ"},
      {"A\r\nB\rC\nD^XZ", "A\r\nB\r\nC\r\nD^XZ"},
      {"A\n\xCC\x81", "A\r\n\xCC\x81^XZ"},  // a mark never joins a line end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.document));
    ASSERT_TRUE(submit(c.document));
    const fs::path file = onlyTemporaryFile();
    EXPECT_EQ(ReadFile(file), c.expected);
    auto jobs = tools_.printed();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].second, c.expected) << "the job is the file as written";
    fs::remove(file);
    fs::remove(tools_.root() / "printed" / jobs[0].first);
  }
  EXPECT_TRUE(log_.lines().empty()) << log_.lines()[0];
}

TEST_F(Submission, ASuccessOfLpOnTheFileEndsTheCallSilently) {
  const mode_t old_umask = umask(0);  // a careless umask must not widen the file
  const bool queued = submit("^XA^FDName, Street 1^FS^XZ");
  umask(old_umask);
  ASSERT_TRUE(queued);
  const fs::path file = onlyTemporaryFile();
  EXPECT_TRUE(std::regex_match(file.filename().string(), kFileName)) << file;
  EXPECT_EQ(file.parent_path(), tools_.temporaryDirectory());
  struct stat info {};
  ASSERT_EQ(lstat(file.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(info.st_uid, geteuid());
  EXPECT_EQ(tools_.calls(), run("lp", kCallsFile)) << "exactly one attempt";
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(Submission, LpFailingOnTheFileHandsItToLprAndLogsTheLpLineLiterally) {
  tools_.setStatus("lp", Mode::kFile, 2);
  tools_.setStandardError("lp", Mode::kFile, "lp: 100% full %s %n\n");
  ASSERT_TRUE(submit("A\nB"));
  onlyTemporaryFile();
  EXPECT_EQ(tools_.calls(), run("lp", kCallsFile) + run("lpr", kCallsFile));
  EXPECT_EQ(log_.lines(),
            std::vector<std::string>{"lp(file) failed (status 2): lp: 100% full %s %n\n"});
  auto jobs = tools_.printed();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].first.rfind("lpr.file.", 0), 0u) << jobs[0].first;
  EXPECT_EQ(jobs[0].second, "A\r\nB^XZ");
}

TEST_F(Submission, FileAttemptsFailingSendTheDocumentToStandardInputLpThenLpr) {
  tools_.setStatus("lp", Mode::kFile, 1);
  tools_.setStatus("lpr", Mode::kFile, 1);
  tools_.setStandardError("lp", Mode::kStdin, "request id is Zebra-7 (0 file(s))\n");
  ASSERT_TRUE(submit("^XA\n^XZ"));
  onlyTemporaryFile();
  EXPECT_EQ(tools_.calls(), run("lp", kCallsFile) + run("lpr", kCallsFile) + run("lp", "-"));
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{
                "lp(file) failed (status 1): ",
                "lpr(file) failed (status 1): ",
                tools_.tools().lp + " stdin failed: request id is Zebra-7 (0 file(s))\n",
            }));
  auto jobs = tools_.printed();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].first.rfind("lp.stdin.", 0), 0u) << jobs[0].first;
  EXPECT_EQ(jobs[0].second, "^XA\r\n^XZ");

  // And lpr on standard input is the last resort. Each attempt reads the
  // document afresh, in pieces: short lines gathered, a line longer than
  // a pipe write, every kind of line end, and no "^XZ" yet.
  tools_.setStatus("lp", Mode::kStdin, 1);
  std::string document;
  for (int i = 0; i < 5000; ++i) document += "^FO" + std::to_string(i) + (i % 3 ? "\n" : "\r\n");
  document += std::string(100000, 'x') + "\r^FS";
  const std::string expected = corvella::NormalizeZplDocument(document);
  ASSERT_EQ(expected.substr(expected.size() - 6), "^FS^XZ");
  for (const fs::path& old : tools_.temporaryFiles()) fs::remove(old);
  ASSERT_TRUE(submit(document));
  EXPECT_EQ(ReadFile(onlyTemporaryFile()), expected);
  jobs = tools_.printed();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[jobs[0].first.rfind("lpr.stdin.", 0) == 0 ? 0 : 1].second, expected);
}

TEST_F(Submission, EveryAttemptFailingRunsAllFourInOrderAndGivesFalse) {
  tools_.setStatus("lp", Mode::kFile, 1);
  tools_.setStatus("lpr", Mode::kFile, 255);
  tools_.setStatus("lp", Mode::kStdin, 1);
  tools_.setStatus("lpr", Mode::kStdin, 1);
  EXPECT_FALSE(submit("^XZ", "Rejecting"));
  const std::string file = onlyTemporaryFile().string();
  EXPECT_EQ(tools_.calls(), run("lp", kCallsFile, "Rejecting") +
                                run("lpr", kCallsFile, "Rejecting") + run("lp", "-", "Rejecting") +
                                run("lpr", "-", "Rejecting"));
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"lp(file) failed (status 1): ",
                                                    "lpr(file) failed (status 255): "}));
  EXPECT_TRUE(tools_.printed().empty());
  EXPECT_EQ(ReadFile(file), "^XZ") << "the file stays whatever the outcome";
}

TEST_F(Submission, ToolsThatCannotBeStartedAreFailedAttemptsWithStatusMinusOne) {
  corvella::PrintTools missing;
  missing.lp = (tools_.root() / "no-lp").string();
  missing.lpr = (tools_.root() / "no-lpr").string();
  EXPECT_FALSE(ZplSubmission(missing).submitZplToPrinter("Zebra", "^XZ"));
  std::vector<std::string> lines = log_.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("lp(file) failed (status -1): ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(missing.lp), std::string::npos) << "the reason names the program";
  EXPECT_EQ(lines[1].rfind("lpr(file) failed (status -1): ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("runShellStatusWithInput error: ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3].rfind("runShellStatusWithInput error: ", 0), 0u) << lines[3];
}

// The three log lines of a call that has no label file of its own: the
// write's reason, then the two file attempts as not run.
void ExpectFileAttemptsNotRun(const std::vector<std::string>& lines) {
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("ZPL write failed: ", 0), 0u) << "logged before any attempt";
  EXPECT_EQ(lines[1],
            "lp(file) failed (status -1): not run: this call has no label file written whole");
  EXPECT_EQ(lines[2],
            "lpr(file) failed (status -1): not run: this call has no label file written whole");
}

TEST_F(Submission, AMissingTemporaryDirectoryIsLoggedAndStandardInputStillPrints) {
  const fs::path missing = tools_.root() / "missing";
  setenv("TMPDIR", missing.c_str(), 1);
  ASSERT_TRUE(submit("A\rB"));
  std::vector<std::string> lines = log_.lines();
  ASSERT_EQ(lines.size(), 3u);
  ExpectFileAttemptsNotRun(lines);
  EXPECT_NE(lines[0].find((missing / "corvella_").string()), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("No such file or directory"), std::string::npos) << lines[0];
  EXPECT_EQ(tools_.calls(), run("lp", "-")) << "no file attempt on a name nobody wrote";
  auto jobs = tools_.printed();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].first.rfind("lp.stdin.", 0), 0u);
  EXPECT_EQ(jobs[0].second, "A\r\nB^XZ");
  EXPECT_FALSE(fs::exists(missing)) << "nothing is created on the way";
}

// Sets a soft limit on the size of the files this process writes (the
// tools raise it again), as `ulimit -f` does: a write past it raises
// SIGXFSZ, whose default action would end this process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    old_signal_ = signal(SIGXFSZ, SIG_DFL);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_signal_);
  }

 private:
  rlimit old_{};
  sighandler_t old_signal_;
};

TEST_F(Submission, ALabelFileNotWrittenWholeIsNeverPrintedNorWhatReplacesIt) {
  // The write fails part of the way, as on a full disk, and someone puts a
  // file of their own at the name the moment the partial file is removed.
  tools_.plantAtMissingFile("^XA^FDsomeone else's label^FS^XZ");
  const std::string label = "^XA^FD" + std::string(3 << 20, 'x') + "^FS^XZ";
  bool printed = false;
  {
    FileSizeLimit limit(1 << 20);
    printed = submit(label);
  }
  EXPECT_TRUE(printed);
  ExpectFileAttemptsNotRun(log_.lines());
  EXPECT_NE(log_.lines()[0].find("File too large"), std::string::npos) << log_.lines()[0];
  EXPECT_EQ(tools_.calls(), run("lp", "-"));
  auto jobs = tools_.printed();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].first.rfind("lp.stdin.", 0), 0u) << jobs[0].first;
  EXPECT_TRUE(jobs[0].second == label)
      << "the label itself, whole, and nothing else: " << jobs[0].second.substr(0, 60);
  EXPECT_TRUE(tools_.temporaryFiles().empty()) << "the partial file is removed";
}

TEST_F(Submission, ANameTakenBySomeoneElseIsNeverHandedToTheTools) {
  // The name this call will use, taken first by a file and by a link.
  const std::string uuid = "01020300-0000-4000-8000-000000000000";
  const fs::path taken = tools_.temporaryDirectory() / ("corvella_" + uuid + ".zpl");
  const ZplSubmission submission(tools_.tools(), [&uuid] { return uuid; });
  for (bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link" : "a file");
    fs::remove(taken);
    if (link) {
      fs::create_symlink(tools_.root() / "elsewhere", taken);
    } else {
      std::ofstream(taken) << "^XA^FDsomeone else's label^FS^XZ";
    }
    LogCapture log;
    ASSERT_TRUE(submission.submitZplToPrinter("Zebra", "mine"));
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    ExpectFileAttemptsNotRun(lines);
    // Only lp on standard input ran, with this call's document.
    EXPECT_EQ(tools_.calls().find("[" + taken.string() + "]"), std::string::npos) << tools_.calls();
    auto jobs = tools_.printed();
    ASSERT_FALSE(jobs.empty());
    EXPECT_EQ(jobs.back().second, "mine^XZ");
    for (const auto& job : jobs) EXPECT_EQ(job.second.find("someone else"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(tools_.root() / "elsewhere")) << "nothing is written through a link";
}

TEST_F(Submission, WhatAnotherUserRenamesOverTheLabelFileIsNeverPrinted) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "acting as a second user (nobody) needs root and setpriv";
  }
  // A shared folder that everyone may write to, without the sticky bit:
  // anyone may rename anything there.
  fs::permissions(tools_.root(), fs::perms(0711));
  fs::permissions(tools_.temporaryDirectory(), fs::perms(0777));
  const fs::path secret = tools_.root() / "root-only";
  std::ofstream(secret) << "^XA^FDroot's secret^FS^XZ";
  fs::permissions(secret, fs::perms(0600));
  const std::string uuid = "0A0B0C00-0000-4000-8000-000000000000";
  const fs::path name = tools_.temporaryDirectory() / ("corvella_" + uuid + ".zpl");
  const ZplSubmission submission(tools_.tools(), [&uuid] { return uuid; });
  // Just before lp opens what it was given, nobody renames a label of
  // their own, or a link to a file only root may read, over the name.
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link to a root-only file" : "a forged label");
    fs::remove(name);
    tools_.swapBeforeRead(name, link ? "" : "^XA^FDforged^FS^XZ", link ? secret : fs::path());
    ASSERT_TRUE(submission.submitZplToPrinter("Zebra", "mine"));
    struct stat swapped {};
    ASSERT_EQ(lstat(name.c_str(), &swapped), 0);
    EXPECT_EQ(swapped.st_uid, 65534u) << "the name was taken over";
    auto jobs = tools_.printed();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].second, "mine^XZ") << "only this call's bytes are printed";
    fs::remove(tools_.root() / "printed" / jobs[0].first);
  }
}

TEST_F(Submission, ThePrinterNameIsOneUnchangedArgumentEvenWhenEmpty) {
  tools_.setStatus("lp", Mode::kFile, 1);
  tools_.setStatus("lpr", Mode::kFile, 1);
  tools_.setStatus("lp", Mode::kStdin, 1);
  const std::string odd = " Zebra 'Label' \"2\" $(false); * -x ";
  EXPECT_TRUE(submit("^XZ", odd));
  const std::string file = onlyTemporaryFile().string();
  EXPECT_EQ(tools_.calls(), run("lp", kCallsFile, odd) + run("lpr", kCallsFile, odd) +
                                run("lp", "-", odd) + run("lpr", "-", odd));
  fs::remove(file);
  fs::remove(tools_.root() / "calls");
  EXPECT_TRUE(submit("^XZ", ""));
  EXPECT_EQ(tools_.calls().rfind("lp [-d] [] [-o] [raw] [", 0), 0u) << tools_.calls();
}

}  // namespace
