#include "tools/host_session.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "Runner/failure.h"

extern char** environ;

namespace corvella {

namespace {

// A pipe as two owned ends (close-on-exec); false with `reason` set when it
// cannot be made.
bool MakePipe(UniqueFd& read_end, UniqueFd& write_end, std::string& reason) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    reason = PosixFailure("pipe2 failed", errno);
    return false;
  }
  read_end.reset(ends[0]);
  write_end.reset(ends[1]);
  return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + offset, bytes.size() - offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    offset += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::unique_ptr<HostSession> HostSession::Start(const std::string& host_path,
                                                const Options& options, std::string& reason) {
  if (access(host_path.c_str(), X_OK) != 0) {
    reason = "cannot run the host " + host_path + ": " + PosixErrorText(errno);
    return nullptr;
  }
  const bool link = options.input == Options::Input::kLink;
  UniqueFd host_input;
  UniqueFd to_host;
  UniqueFd from_host;
  UniqueFd host_output;
  if ((link && !MakePipe(host_input, to_host, reason)) ||
      !MakePipe(from_host, host_output, reason)) {
    return nullptr;
  }
  // Small enough to sit in the pipe before anyone reads it.
  if (link && (options.written_before_start.size() > PIPE_BUF ||
               !WriteAll(to_host.get(), options.written_before_start))) {
    reason = "cannot write the bytes due before the start";
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  int spawned = posix_spawn_file_actions_init(&actions);
  if (spawned == 0) {
    spawned = posix_spawnattr_init(&attributes);
    if (spawned != 0) posix_spawn_file_actions_destroy(&actions);
  }
  pid_t pid = -1;
  if (spawned == 0) {
    // This process ignores SIGPIPE; the host starts with every signal at its
    // default and none blocked.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    std::vector<char*> argv = {const_cast<char*>(host_path.c_str())};
    for (const std::string& argument : options.arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    spawned =
        link ? posix_spawn_file_actions_adddup2(&actions, host_input.get(), STDIN_FILENO)
        : options.input == Options::Input::kDevNull
            ? posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0)
            : posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
    if (spawned == 0 && options.error_fd >= 0)
      spawned = posix_spawn_file_actions_adddup2(&actions, options.error_fd, STDERR_FILENO);
    if (spawned == 0 &&
        (spawned = posix_spawn_file_actions_adddup2(&actions, host_output.get(), STDOUT_FILENO)) ==
            0 &&
        (spawned = posix_spawnattr_setsigdefault(&attributes, &defaults)) == 0 &&
        (spawned = posix_spawnattr_setsigmask(&attributes, &none)) == 0 &&
        (spawned = posix_spawnattr_setflags(&attributes,
                                            POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK)) == 0) {
      spawned = posix_spawn(&pid, host_path.c_str(), &actions, &attributes, argv.data(), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  if (spawned != 0) {
    reason = "cannot start the host " + host_path + ": " + PosixErrorText(spawned);
    return nullptr;
  }
  return std::unique_ptr<HostSession>(
      new HostSession(pid, std::move(to_host), std::move(from_host)));
}

HostSession::~HostSession() { Close(); }

std::optional<std::vector<uint8_t>> HostSession::Call(const std::string& channel,
                                                      const std::vector<uint8_t>& message,
                                                      std::string& reason) {
  std::optional<uint32_t> id = Send(channel, message, reason);
  if (!id) return std::nullopt;
  std::optional<UiLinkReply> reply = Receive(reason);
  if (!reply) return std::nullopt;
  if (reply->id != *id) {
    reason = "the host sent a reply that belongs to no call";
    return std::nullopt;
  }
  return std::move(reply->reply);
}

std::optional<uint32_t> HostSession::Send(const std::string& channel,
                                          const std::vector<uint8_t>& message,
                                          std::string& reason) {
  const uint32_t id = next_id_++;
  if (!Write(EncodeUiLinkCall(id, channel, message))) {
    reason = to_host_.valid() ? "the host stopped reading" : "the link is closed";
    return std::nullopt;
  }
  return id;
}

bool HostSession::Write(const std::vector<uint8_t>& bytes) {
  return to_host_.valid() && WriteAll(to_host_.get(), bytes);
}

void HostSession::CloseInput() { to_host_.reset(); }

std::optional<UiLinkReply> HostSession::Receive(std::string& reason, Deadline deadline) {
  std::vector<uint8_t> buffer(64 * 1024);
  for (;;) {
    if (!bodies_.empty()) {
      std::vector<uint8_t> body = std::move(bodies_.front());
      bodies_.erase(bodies_.begin());
      std::optional<UiLinkReply> reply = DecodeUiLinkReply(body);
      if (!reply) {
        reason = "the host sent a reply too short for its header";
        return std::nullopt;
      }
      return reply;
    }
    if (output_ended_) {
      reason = "the host ended before answering";
      return std::nullopt;
    }
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      pollfd output{from_host_.get(), POLLIN, 0};
      const int ready = poll(&output, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        reason = kNoReplyInTime;
        return std::nullopt;
      }
    }
    ssize_t n = read(from_host_.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = std::string("reading from the host failed: ") + PosixErrorText(errno);
      return std::nullopt;
    }
    output_ended_ = n == 0;
    if (n == 0) continue;
    if (!parser_.feed(buffer.data(), static_cast<size_t>(n), bodies_)) {
      reason = "the host sent a frame over the size limit";
      return std::nullopt;
    }
  }
}

std::optional<int> HostSession::Wait(Deadline deadline) {
  while (!wait_status_) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, deadline ? WNOHANG : 0);
    if (done == pid_) {
      wait_status_ = status;
    } else if (done < 0 && errno != EINTR) {
      return std::nullopt;
    } else if (deadline && Clock::now() >= *deadline) {
      kill(pid_, SIGKILL);
      Wait(std::nullopt);
      return std::nullopt;
    } else if (deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return wait_status_;
}

int HostSession::Close() {
  CloseInput();
  // Whatever a running host still writes is of no use now; reading it to
  // the end keeps the host from blocking on a full pipe while it finishes.
  std::vector<uint8_t> buffer(64 * 1024);
  while (!wait_status_ && from_host_.valid()) {
    ssize_t n = read(from_host_.get(), buffer.data(), buffer.size());
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
  from_host_.reset();
  return Wait(std::nullopt).value_or(-1);
}

}  // namespace corvella
