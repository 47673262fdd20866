#include "process/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>

#include "process/child_spawn.h"
#include "process/unique_fd.h"
#include "process/write_signal_guard.h"

namespace corvella {
namespace {

constexpr size_t kChunk = 64 * 1024;

bool SetNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Appends what is available on `fd` to `sink`. Closes `fd` at the end of the
// stream or on an error.
void Drain(UniqueFd& fd, std::string& sink) {
  for (;;) {
    const size_t old_size = sink.size();
    sink.resize(old_size + kChunk);
    const ssize_t n = ::read(fd.get(), sink.data() + old_size, kChunk);
    sink.resize(old_size + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    fd.reset();
    return;
  }
}

// Milliseconds from now until `deadline` for poll: -1 without a deadline,
// 0 once it has passed.
int PollTimeout(const Deadline& deadline) {
  if (!deadline) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline - ChildProcess::Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 60'000 ? 60'000 : static_cast<int>(left.count());
}

bool Passed(const Deadline& deadline) {
  return deadline && ChildProcess::Clock::now() >= *deadline;
}

// Waits until the child has exited (without reaping it) or `deadline` has
// passed; true when it exited. One poll on a process descriptor where the
// kernel has them, else short naps between checks.
bool WaitForExit(pid_t pid, const Deadline& deadline) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    UniqueFd owned(pidfd);
    for (;;) {
      pollfd fds[1] = {{owned.get(), POLLIN, 0}};
      const int ready = ::poll(fds, 1, PollTimeout(deadline));
      if (ready > 0) return true;
      if (ready == 0 && Passed(deadline)) return false;
      if (ready < 0 && errno != EINTR) break;
    }
  }
  for (;;) {
    siginfo_t info{};
    const int result = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (result == 0 && info.si_pid == pid) return true;
    if (result < 0 && errno != EINTR) return true;  // nothing left to wait for
    if (Passed(deadline)) return false;
    ::usleep(5000);
  }
}

// Kills the child and its process group, which it leads.
void EndChild(pid_t pid) {
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
}

int32_t TerminationStatus(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return WTERMSIG(wait_status);
  return wait_status;
}

// A started child and the host's ends of its pipes (input only when the
// run has input for it).
struct Spawned {
  pid_t pid = 0;
  UniqueFd input;
  UniqueFd captured;
};

// Starts the child; nothing, with `reason` set, when it cannot be started.
std::optional<Spawned> Spawn(const std::string& path, const std::vector<std::string>& arguments,
                             ChildProcess::Capture capture, const ChildProcess::Input* input,
                             int passed, std::string& reason) {
  std::string pipe_reason;
  std::optional<Pipe> in;
  if (input != nullptr && !(in = MakePipe(pipe_reason))) {
    reason = "Cannot launch " + path + ": " + pipe_reason;
    return std::nullopt;
  }
  std::optional<Pipe> captured = MakePipe(pipe_reason);
  if (!captured) {
    reason = "Cannot launch " + path + ": " + pipe_reason;
    return std::nullopt;
  }
  const ChildStream to_capture = ChildStream::descriptor(captured->write.get());
  const ChildStream dropped{ChildStream::Kind::kDevNull};
  ChildStreams streams;
  streams.input = in ? ChildStream::descriptor(in->read.get()) : dropped;
  streams.output = capture == ChildProcess::Capture::kStandardOutput ? to_capture : dropped;
  streams.error = capture == ChildProcess::Capture::kStandardError ? to_capture : dropped;
  streams.passed = passed;
  std::optional<pid_t> pid = SpawnChild(path, arguments, streams, reason);
  // The child's ends belong to the child alone; with them closed here, the
  // read reaches the end of its stream once the child has exited.
  if (in) in->read.reset();
  captured->write.reset();
  if (!pid) return std::nullopt;
  Spawned child;
  child.pid = *pid;
  if (in) child.input = std::move(in->write);
  child.captured = std::move(captured->read);
  return child;
}

// The next bytes for the child's input: a piece as it comes when it is
// large, else pieces gathered up to one chunk. Empty at the end.
class InputFeed {
 public:
  explicit InputFeed(const ChildProcess::Input* input) : input_(input) {}

  std::string_view pending() {
    if (!window_.empty() || input_ == nullptr || ended_) return window_;
    gathered_.clear();
    for (;;) {
      const std::string_view piece = (*input_)();
      if (piece.empty()) {
        ended_ = true;
        break;
      }
      if (gathered_.empty() && piece.size() >= kChunk) {
        window_ = piece;
        return window_;
      }
      gathered_.append(piece);
      if (gathered_.size() >= kChunk) break;
    }
    window_ = gathered_;
    return window_;
  }
  void consumed(size_t bytes) { window_.remove_prefix(bytes); }

 private:
  const ChildProcess::Input* input_;
  std::string gathered_;
  std::string_view window_;
  bool ended_ = false;
};

// Feeds the input and reads the captured pipe in one poll loop until both
// have ended or the deadline has passed; closes the host's ends.
void Pump(Spawned& child, const ChildProcess::Input* input, const RunOptions& options,
          ChildProcess::Outcome& outcome) {
  InputFeed feed(input);
  std::optional<WriteSignalGuard> write_guard;
  if (child.input.valid()) write_guard.emplace();
  bool io_ok = (!child.input.valid() || SetNonBlocking(child.input.get())) &&
               SetNonBlocking(child.captured.get());

  while (io_ok && (child.input.valid() || child.captured.valid())) {
    if (child.input.valid() && feed.pending().empty()) {
      // Every byte is in the pipe: the child holds its whole input, and the
      // end of it that it sees now is the true one.
      if (options.stopper != nullptr) options.stopper->inputWhole();
      child.input.reset();
      continue;
    }
    pollfd fds[2];
    nfds_t count = 0;
    int input_slot = -1, captured_slot = -1;
    if (child.input.valid()) {
      input_slot = static_cast<int>(count);
      fds[count++] = {child.input.get(), POLLOUT, 0};
    }
    if (child.captured.valid()) {
      captured_slot = static_cast<int>(count);
      fds[count++] = {child.captured.get(), POLLIN, 0};
    }
    const int ready = ::poll(fds, count, PollTimeout(options.deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      io_ok = false;
      break;
    }
    if (Passed(options.deadline)) {
      outcome.timed_out = true;
      break;
    }
    if (input_slot >= 0 && fds[input_slot].revents != 0) {
      const std::string_view bytes = feed.pending();
      ssize_t n = ::write(child.input.get(), bytes.data(), std::min(bytes.size(), kChunk));
      if (n > 0) {
        feed.consumed(static_cast<size_t>(n));
        outcome.input_written += static_cast<size_t>(n);
      } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
        // The child has stopped reading (EPIPE) or the pipe failed: the
        // write ends here and the child sees the end of its input.
        child.input.reset();
      }
    }
    if (captured_slot >= 0 && fds[captured_slot].revents != 0) {
      Drain(child.captured, outcome.captured);
    }
  }
  // Should the loop fail, closing the host's ends lets a child that still
  // writes or reads see a broken pipe or the end of its input, so the wait
  // below cannot hang on a full pipe. A child whose input is cut off here is
  // ended first: it must never take a part of its input for the whole.
  if (child.input.valid() && (outcome.timed_out || !io_ok)) EndChild(child.pid);
  child.input.reset();
  child.captured.reset();
}

// Waits for the child's exit (killing it at the deadline, unless it has
// timed out already; a stopper may kill it meanwhile) and reaps it;
// returns its status.
int32_t Reap(pid_t pid, const RunOptions& options, bool& timed_out) {
  // A child that closed its pipes may still run: past the deadline it is
  // killed, so the wait below ends at once.
  if ((options.deadline || options.stopper != nullptr) && !timed_out) {
    timed_out = !WaitForExit(pid, options.deadline);
  }
  if (timed_out) EndChild(pid);
  if (options.stopper != nullptr) options.stopper->reaping();
  int wait_status = 0;
  pid_t waited;
  while ((waited = ::waitpid(pid, &wait_status, 0)) < 0 && errno == EINTR) {
  }
  return waited == pid ? TerminationStatus(wait_status) : -1;
}

}  // namespace

std::optional<ChildProcess::Outcome> ChildProcess::run(const std::string& launch_path,
                                                       const std::vector<std::string>& arguments,
                                                       Capture capture, std::string& reason,
                                                       const Input* input,
                                                       const RunOptions& options) {
  if (options.stopper != nullptr && !options.stopper->admit()) {
    reason = "Cannot launch " + launch_path + ": its work has been stopped";
    return std::nullopt;
  }
  std::optional<Spawned> child =
      Spawn(launch_path, arguments, capture, input, options.passed, reason);
  if (options.stopper != nullptr) {
    if (child) {
      options.stopper->started(child->pid, !child->input.valid());
    } else {
      options.stopper->startFailed();
    }
  }
  if (!child) return std::nullopt;
  Outcome outcome;
  Pump(*child, input, options, outcome);
  outcome.status = Reap(child->pid, options, outcome.timed_out);
  return outcome;
}

}  // namespace corvella
