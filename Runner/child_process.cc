#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "child_spawn.h"
#include "unique_fd.h"

namespace corvella {
namespace {

constexpr size_t kChunk = 64 * 1024;

bool SetNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Blocks SIGPIPE on the calling thread for its lifetime, so a write to a
// pipe whose reader has gone fails with EPIPE instead of ending the host.
// A SIGPIPE raised meanwhile is consumed before the old mask returns; the
// process-wide disposition is never touched.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_set_);
    sigaddset(&pipe_set_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set_, &old_mask_);
    sigset_t pending;
    sigemptyset(&pending);
    was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeGuard() {
    if (raised_ && !was_pending_) {
      const timespec no_wait{0, 0};
      while (sigtimedwait(&pipe_set_, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  void noteRaised() { raised_ = true; }

 private:
  sigset_t pipe_set_;
  sigset_t old_mask_;
  bool was_pending_ = false;
  bool raised_ = false;
};

// Reads what is available on `fd`; appends it to `sink` when given. Closes
// `fd` at the end of the stream or on an error.
void Drain(UniqueFd& fd, std::string* sink) {
  char scratch[kChunk];
  for (;;) {
    ssize_t n;
    if (sink) {
      size_t old_size = sink->size();
      sink->resize(old_size + kChunk);
      n = ::read(fd.get(), sink->data() + old_size, kChunk);
      sink->resize(old_size + (n > 0 ? static_cast<size_t>(n) : 0));
    } else {
      n = ::read(fd.get(), scratch, sizeof scratch);
    }
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    fd.reset();
    return;
  }
}

// Milliseconds from now until `deadline` for poll: -1 without a deadline,
// 0 once it has passed.
int PollTimeout(const ChildProcess::Deadline& deadline) {
  if (!deadline) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline - ChildProcess::Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 60'000 ? 60'000 : static_cast<int>(left.count());
}

// A run's deadline and cancellable: the run ends at whichever comes first.
struct RunLimit {
  ChildProcess::Deadline deadline;
  GCancellable* cancellable = nullptr;
  // The cancellable's descriptor for poll, or a slot that polls nothing.
  pollfd cancelled{-1, POLLIN, 0};

  RunLimit(ChildProcess::Deadline at, GCancellable* cancel) : deadline(at), cancellable(cancel) {
    if (cancellable != nullptr && !g_cancellable_make_pollfd(cancellable, &gpoll_)) {
      cancellable = nullptr;
    }
    if (cancellable != nullptr) cancelled.fd = gpoll_.fd;
  }
  ~RunLimit() {
    if (cancellable != nullptr) g_cancellable_release_fd(cancellable);
  }
  RunLimit(const RunLimit&) = delete;
  RunLimit& operator=(const RunLimit&) = delete;

  bool reached() const {
    return (deadline && ChildProcess::Clock::now() >= *deadline) ||
           (cancellable != nullptr && g_cancellable_is_cancelled(cancellable));
  }

 private:
  GPollFD gpoll_{};
};

// Waits until the child has exited (without reaping it) or `deadline` has
// passed; true when it exited. One poll on a process descriptor where the
// kernel has them, else short naps between checks.
bool WaitForExit(pid_t pid, const RunLimit& limit) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    UniqueFd owned(pidfd);
    for (;;) {
      pollfd fds[2] = {{owned.get(), POLLIN, 0}, limit.cancelled};
      const int ready = ::poll(fds, 2, PollTimeout(limit.deadline));
      if (ready > 0 && fds[0].revents != 0) return true;
      if (ready >= 0 && limit.reached()) return false;
      if (ready < 0 && errno != EINTR) break;
    }
  }
  for (;;) {
    siginfo_t info{};
    const int result = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (result == 0 && info.si_pid == pid) return true;
    if (result < 0 && errno != EINTR) return true;  // nothing left to wait for
    if (limit.reached()) return false;
    ::usleep(5000);
  }
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
  UniqueFd output;
  UniqueFd error;
};

// Starts the child; nothing, with `reason` set, when it cannot be started.
std::optional<Spawned> Spawn(const std::string& path, const std::vector<std::string>& arguments,
                             bool with_input, std::string& reason) {
  std::string pipe_reason;
  std::optional<Pipe> in;
  if (with_input && !(in = MakePipe(pipe_reason))) {
    reason = "Cannot launch " + path + ": " + pipe_reason;
    return std::nullopt;
  }
  std::optional<Pipe> out = MakePipe(pipe_reason);
  std::optional<Pipe> err = out ? MakePipe(pipe_reason) : std::nullopt;
  if (!err) {
    reason = "Cannot launch " + path + ": " + pipe_reason;
    return std::nullopt;
  }
  ChildStreams streams;
  if (in) streams.input = ChildStream::Descriptor(in->read.get());
  streams.output = ChildStream::Descriptor(out->write.get());
  streams.error = ChildStream::Descriptor(err->write.get());
  std::optional<pid_t> pid = SpawnChild(path, arguments, streams, reason);
  // The child's ends belong to the child alone; with them closed here, each
  // read reaches the end of its stream once the child has exited.
  if (in) in->read.reset();
  out->write.reset();
  err->write.reset();
  if (!pid) return std::nullopt;
  Spawned child;
  child.pid = *pid;
  if (in) child.input = std::move(in->write);
  child.output = std::move(out->read);
  child.error = std::move(err->read);
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

// Feeds `input` and reads both output pipes in one poll loop until every
// pipe has ended or the deadline has passed; closes the host's ends.
void Pump(Spawned& child, const ChildProcess::Input* input, ChildProcess::Capture capture,
          const RunLimit& limit, ChildProcess::Outcome& outcome) {
  std::string* output_sink =
      capture == ChildProcess::Capture::kStandardOutput ? &outcome.captured : nullptr;
  std::string* error_sink =
      capture == ChildProcess::Capture::kStandardError ? &outcome.captured : nullptr;
  InputFeed feed(input);
  std::optional<SigpipeGuard> sigpipe_guard;
  if (child.input.valid()) sigpipe_guard.emplace();
  bool io_ok = (!child.input.valid() || SetNonBlocking(child.input.get())) &&
               SetNonBlocking(child.output.get()) && SetNonBlocking(child.error.get());

  while (io_ok && (child.input.valid() || child.output.valid() || child.error.valid())) {
    if (child.input.valid() && feed.pending().empty()) {
      child.input.reset();
      continue;
    }
    pollfd fds[4];
    nfds_t count = 0;
    int input_slot = -1, output_slot = -1, error_slot = -1;
    if (child.input.valid()) {
      input_slot = static_cast<int>(count);
      fds[count++] = {child.input.get(), POLLOUT, 0};
    }
    if (child.output.valid()) {
      output_slot = static_cast<int>(count);
      fds[count++] = {child.output.get(), POLLIN, 0};
    }
    if (child.error.valid()) {
      error_slot = static_cast<int>(count);
      fds[count++] = {child.error.get(), POLLIN, 0};
    }
    fds[count++] = limit.cancelled;
    const int ready = ::poll(fds, count, PollTimeout(limit.deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      io_ok = false;
      break;
    }
    if (limit.reached()) {
      outcome.timedOut = true;
      break;
    }
    if (input_slot >= 0 && fds[input_slot].revents != 0) {
      const std::string_view bytes = feed.pending();
      ssize_t n = ::write(child.input.get(), bytes.data(), std::min(bytes.size(), kChunk));
      if (n > 0) {
        feed.consumed(static_cast<size_t>(n));
        outcome.inputWritten += static_cast<size_t>(n);
      } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
        // The child has stopped reading (EPIPE) or the pipe failed: the
        // write ends here and the child sees the end of its input.
        if (errno == EPIPE) sigpipe_guard->noteRaised();
        child.input.reset();
      }
    }
    if (output_slot >= 0 && fds[output_slot].revents != 0) Drain(child.output, output_sink);
    if (error_slot >= 0 && fds[error_slot].revents != 0) Drain(child.error, error_sink);
  }
  // Should the loop fail, closing the host's ends lets a child that still
  // writes or reads see a broken pipe or the end of its input, so the wait
  // below cannot hang on a full pipe.
  child.input.reset();
  child.output.reset();
  child.error.reset();
}

// Waits for the child's exit (killing it at the deadline or when the run is
// cancelled, unless it has timed out already) and reaps it; returns its
// status.
int32_t Reap(pid_t pid, const RunLimit& limit, bool& timed_out) {
  // A child that closed its pipes may still run: past the deadline it is
  // killed, so the wait below ends at once.
  if ((limit.deadline || limit.cancellable != nullptr) && !timed_out) {
    timed_out = !WaitForExit(pid, limit);
  }
  if (timed_out) ::kill(pid, SIGKILL);
  int wait_status = 0;
  pid_t waited;
  while ((waited = ::waitpid(pid, &wait_status, 0)) < 0 && errno == EINTR) {
  }
  return waited == pid ? TerminationStatus(wait_status) : -1;
}

}  // namespace

std::optional<ChildProcess::Outcome> ChildProcess::run(const std::string& launchPath,
                                                       const std::vector<std::string>& arguments,
                                                       Capture capture, std::string& reason,
                                                       const Input* input, Deadline deadline,
                                                       GCancellable* cancellable) {
  std::optional<Spawned> child = Spawn(launchPath, arguments, input != nullptr, reason);
  if (!child) return std::nullopt;
  const RunLimit limit(deadline, cancellable);
  Outcome outcome;
  Pump(*child, input, capture, limit, outcome);
  outcome.status = Reap(child->pid, limit, outcome.timedOut);
  return outcome;
}

}  // namespace corvella
