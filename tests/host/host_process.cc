#include "tests/host/host_process.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "tools/json_values.h"
#include "tools/standard_method_codec.h"

extern char** environ;

namespace corvella::testing {

namespace {

void CloseFd(int& fd) {
  if (fd < 0) return;
  ::close(fd);
  fd = -1;
}

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

HostProcess::HostProcess(const std::string& program, Options options) {
  // A test whose host has gone must see EPIPE, not die of SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  PrepareSanitizersForChildren();
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/corvella-host-stderr-XXXXXX";
  int error_fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (error_fd < 0) {
    ADD_FAILURE() << "mkostemp: " << strerror(errno);
    return;
  }
  error_path_ = pattern;

  int to_host[2] = {-1, -1};
  int from_host[2] = {-1, -1};
  if (pipe2(from_host, O_CLOEXEC) != 0 ||
      (options.input == Input::kPipe && pipe2(to_host, O_CLOEXEC) != 0)) {
    ADD_FAILURE() << "pipe2: " << strerror(errno);
    CloseFd(error_fd);
    return;
  }
  if (!options.written_before_start.empty()) {
    const auto& bytes = options.written_before_start;
    EXPECT_LE(bytes.size(), size_t{PIPE_BUF}) << "more than the pipe holds before a reader exists";
    ssize_t n = 0;
    do {
      n = ::write(to_host[1], bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    EXPECT_EQ(n, static_cast<ssize_t>(bytes.size()));
  }

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    ADD_FAILURE() << "posix_spawn_file_actions_init failed";
    return;
  }
  if (options.input == Input::kPipe) {
    posix_spawn_file_actions_adddup2(&actions, to_host[0], STDIN_FILENO);
  } else if (options.input == Input::kDevNull) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  } else {
    posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
  }
  posix_spawn_file_actions_adddup2(&actions, from_host[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, error_fd, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& argument : options.arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int spawned =
      posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  CloseFd(error_fd);
  CloseFd(to_host[0]);
  CloseFd(from_host[1]);
  to_host_ = to_host[1];
  from_host_ = from_host[0];
  if (spawned != 0) {
    pid_ = -1;
    ADD_FAILURE() << "cannot start " << program << ": " << strerror(spawned);
    CloseFd(to_host_);
  }
}

HostProcess::~HostProcess() {
  CloseFd(to_host_);
  CloseFd(from_host_);
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (!error_path_.empty()) unlink(error_path_.c_str());
}

bool HostProcess::write(const std::vector<uint8_t>& bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    const ssize_t n = ::write(to_host_, bytes.data() + offset, bytes.size() - offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    offset += static_cast<size_t>(n);
  }
  return true;
}

void HostProcess::closeInput() { CloseFd(to_host_); }

bool HostProcess::ReadSome(std::chrono::steady_clock::time_point deadline) {
  if (output_ended_ || from_host_ < 0) return false;
  for (;;) {
    pollfd in{from_host_, POLLIN, 0};
    const int ready = poll(&in, 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    uint8_t buffer[64 * 1024];
    const ssize_t n = read(from_host_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      output_ended_ = true;
      return false;
    }
    EXPECT_TRUE(parser_.feed(buffer, static_cast<size_t>(n), bodies_))
        << "the host wrote a frame over the size limit";
    return true;
  }
}

std::vector<UiLinkReply> HostProcess::readReplies(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (bodies_.size() < count && ReadSome(deadline)) {
  }
  std::vector<UiLinkReply> replies;
  const size_t take = std::min(count, bodies_.size());
  for (size_t i = 0; i < take; ++i) {
    std::optional<UiLinkReply> reply = DecodeUiLinkReply(bodies_[i]);
    EXPECT_TRUE(reply.has_value()) << "a frame on the host's output is not a reply";
    if (reply) replies.push_back(std::move(*reply));
  }
  bodies_.erase(bodies_.begin(), bodies_.begin() + static_cast<std::ptrdiff_t>(take));
  return replies;
}

std::vector<UiLinkReply> HostProcess::readToEnd(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (ReadSome(deadline)) {
  }
  EXPECT_TRUE(output_ended_) << "the host's output did not end in time";
  EXPECT_FALSE(parser_.insideFrame()) << "the host's output ends inside a frame";
  return readReplies(bodies_.size(), std::chrono::milliseconds(0));
}

std::optional<int> HostProcess::wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = status;
      return status_;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      status_ = status;
      ADD_FAILURE() << "the host did not end in time and was killed";
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string HostProcess::errorOutput() const {
  std::ifstream file(error_path_, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> CallFrame(uint32_t id, const std::string& channel, const std::string& method,
                               EncodableValue arguments) {
  return EncodeUiLinkCall(
      id, channel, StandardMethodCodec::EncodeMethodCall(FlutterMethodCall(method, arguments)));
}

std::vector<uint8_t> PrinterCallFrame(uint32_t id, const std::string& method,
                                      EncodableValue arguments) {
  return CallFrame(id, "zebra_printer_channel", method, std::move(arguments));
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> out;
  for (const auto& frame : frames) out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

std::string AnswerJson(const UiLinkReply& reply) {
  if (reply.reply.empty()) return "<empty>";
  std::optional<FlutterResultValue> answer = StandardMethodCodec::DecodeEnvelope(reply.reply);
  return answer ? ToJson(*answer) : "<undecodable>";
}

std::string DescribeWaitStatus(const std::optional<int>& status) {
  if (!status) return "not ended";
  if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
  return "wait status " + std::to_string(*status);
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
