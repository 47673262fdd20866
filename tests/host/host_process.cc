#include "tests/host/host_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "submission/temporary_directory.h"
#include "test_print_system/file_util.h"
#include "tools/json_values.h"

namespace corvella::testing {

HostProcess::HostProcess(const std::string& program, Options options) {
  // A test whose host has gone must see EPIPE, not die of SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  PrepareSanitizersForChildren();
  error_path_ = TemporaryDirectory() + "/corvella-host-stderr-XXXXXX";
  options.error_fd = mkostemp(error_path_.data(), O_CLOEXEC);
  if (options.error_fd < 0) {
    ADD_FAILURE() << "mkostemp failed";
    error_path_.clear();
    return;
  }
  std::string error;
  session_ = HostSession::start(program, options, error);
  ::close(options.error_fd);
  if (!session_) ADD_FAILURE() << error;
}

HostProcess::~HostProcess() {
  // Kills a host the test left running.
  if (session_) session_->wait(HostSession::Clock::now());
  if (!error_path_.empty()) {
    ExpectNoCriticals(errorOutput());
    unlink(error_path_.c_str());
  }
}

void ExpectNoCriticals(const std::string& errors) {
  EXPECT_EQ(errors.find("CRITICAL"), std::string::npos) << errors;
}

std::vector<UiLinkReply> HostProcess::readReplies(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = HostSession::Clock::now() + timeout;
  std::vector<UiLinkReply> replies;
  std::string error;
  while (replies.size() < count) {
    std::optional<UiLinkReply> reply = session_->receive(error, deadline);
    if (!reply) break;
    replies.push_back(std::move(*reply));
  }
  EXPECT_TRUE(error.empty() || error == HostSession::kNoReplyInTime || session_->outputEnded())
      << error;
  return replies;
}

std::vector<UiLinkReply> HostProcess::readToEnd(std::chrono::milliseconds timeout) {
  std::vector<UiLinkReply> replies = readReplies(SIZE_MAX, timeout);
  EXPECT_TRUE(session_->outputEnded()) << "the host's output did not end in time";
  EXPECT_FALSE(session_->insideFrame()) << "the host's output ends inside a frame";
  return replies;
}

std::optional<int> HostProcess::wait(std::chrono::milliseconds timeout) {
  std::optional<int> status = session_->wait(HostSession::Clock::now() + timeout);
  if (!status) ADD_FAILURE() << "the host did not end in time and was killed";
  return status;
}

std::string HostProcess::errorOutput() const { return ReadFile(error_path_).value_or(""); }

std::vector<uint8_t> CallFrame(uint32_t id, const std::string& channel, const std::string& method,
                               Value arguments) {
  return EncodeUiLinkCall(id, channel, EncodeMethodCall(method, arguments.get()));
}

std::vector<uint8_t> PrinterCallFrame(uint32_t id, const std::string& method, Value arguments) {
  return CallFrame(id, "zebra_printer_channel", method, std::move(arguments));
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> out;
  for (const auto& frame : frames) out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

std::string AnswerJson(const UiLinkReply& reply) {
  if (reply.reply.empty()) return "<empty>";
  g_autoptr(FlMethodResponse) answer = DecodeReply(reply.reply);
  return answer != nullptr ? ToJson(answer) : "<undecodable>";
}

void HostProcess::expectCleanExit(std::chrono::milliseconds timeout) {
  const std::optional<int> status = wait(timeout);
  std::string errors = errorOutput();
  errors.erase(0, errors.size() > 20000 ? errors.size() - 20000 : 0);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
      << (!status                ? std::string("not ended")
          : WIFSIGNALED(*status) ? "killed by signal " + std::to_string(WTERMSIG(*status))
                                 : "wait status " + std::to_string(*status))
      << "\n"
      << errors;
  EXPECT_EQ(errors.find("runtime error"), std::string::npos) << "a sanitizer report";
}

std::string HostPath() { return CORVELLA_HOST_PATH; }
std::string TestHostPath() { return CORVELLA_TEST_HOST_PATH; }
std::string CallToolPath() { return CORVELLA_CALL_PATH; }

namespace {

// Adds suppressions=FILE to the options variable `name` unless it names a
// file already.
void AddSuppressions(const char* name, const char* file) {
  const char* current = getenv(name);
  std::string options = current != nullptr ? current : "";
  if (options.find("suppressions=") != std::string::npos) return;
  if (!options.empty()) options += ":";
  options += std::string("suppressions=") + file;
  setenv(name, options.c_str(), 1);
}

}  // namespace

void PrepareSanitizersForChildren() {
  AddSuppressions("LSAN_OPTIONS", CORVELLA_LSAN_SUPPRESSIONS);
  AddSuppressions("TSAN_OPTIONS", CORVELLA_TSAN_SUPPRESSIONS);
}

void IsolateFromPrintSystem() { setenv("CUPS_SERVER", "/nonexistent/corvella-test/cups.sock", 1); }

}  // namespace corvella::testing
