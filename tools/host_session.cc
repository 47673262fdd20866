#include "tools/host_session.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "Runner/failure.h"

extern char** environ;

namespace corvella {

namespace {

void CloseFd(int& fd) {
  if (fd < 0) return;
  ::close(fd);  // released by Linux even on EINTR
  fd = -1;
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
                                                const Options& options, std::string& error) {
  if (access(host_path.c_str(), X_OK) != 0) {
    error = "cannot run the host " + host_path + ": " + PosixErrorText(errno);
    return nullptr;
  }
  const bool link = options.input == Options::Input::kLink;
  int to_host[2] = {-1, -1};
  int from_host[2] = {-1, -1};
  if ((link && pipe2(to_host, O_CLOEXEC) != 0) || pipe2(from_host, O_CLOEXEC) != 0) {
    error = std::string("pipe2 failed: ") + PosixErrorText(errno);
    for (int* fd : {&to_host[0], &to_host[1], &from_host[0], &from_host[1]}) CloseFd(*fd);
    return nullptr;
  }
  // Small enough to sit in the pipe before anyone reads it.
  if (link && (options.written_before_start.size() > PIPE_BUF ||
               !WriteAll(to_host[1], options.written_before_start))) {
    error = "cannot write the bytes due before the start";
    for (int* fd : {&to_host[0], &to_host[1], &from_host[0], &from_host[1]}) CloseFd(*fd);
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
        link ? posix_spawn_file_actions_adddup2(&actions, to_host[0], STDIN_FILENO)
        : options.input == Options::Input::kDevNull
            ? posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0)
            : posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
    if (spawned == 0 && options.error_fd >= 0)
      spawned = posix_spawn_file_actions_adddup2(&actions, options.error_fd, STDERR_FILENO);
    if (spawned == 0 &&
        (spawned = posix_spawn_file_actions_adddup2(&actions, from_host[1], STDOUT_FILENO)) == 0 &&
        (spawned = posix_spawnattr_setsigdefault(&attributes, &defaults)) == 0 &&
        (spawned = posix_spawnattr_setsigmask(&attributes, &none)) == 0 &&
        (spawned = posix_spawnattr_setflags(&attributes,
                                            POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK)) == 0) {
      spawned = posix_spawn(&pid, host_path.c_str(), &actions, &attributes, argv.data(), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  CloseFd(to_host[0]);
  CloseFd(from_host[1]);
  if (spawned != 0) {
    error = "cannot start the host " + host_path + ": " + strerror(spawned);
    CloseFd(to_host[1]);
    CloseFd(from_host[0]);
    return nullptr;
  }
  return std::unique_ptr<HostSession>(new HostSession(pid, to_host[1], from_host[0]));
}

HostSession::~HostSession() { Close(); }

std::optional<std::vector<uint8_t>> HostSession::Call(const std::string& channel,
                                                      const std::vector<uint8_t>& message,
                                                      std::string& error) {
  std::optional<uint32_t> id = Send(channel, message, error);
  if (!id) return std::nullopt;
  std::optional<UiLinkReply> reply = Receive(error);
  if (!reply) return std::nullopt;
  if (reply->id != *id) {
    error = "the host sent a reply that belongs to no call";
    return std::nullopt;
  }
  return std::move(reply->reply);
}

std::optional<uint32_t> HostSession::Send(const std::string& channel,
                                          const std::vector<uint8_t>& message, std::string& error) {
  const uint32_t id = next_id_++;
  if (!Write(EncodeUiLinkCall(id, channel, message))) {
    error = to_host_ < 0 ? "the link is closed" : "the host stopped reading";
    return std::nullopt;
  }
  return id;
}

bool HostSession::Write(const std::vector<uint8_t>& bytes) {
  return to_host_ >= 0 && WriteAll(to_host_, bytes);
}

void HostSession::CloseInput() { CloseFd(to_host_); }

std::optional<UiLinkReply> HostSession::Receive(std::string& error, Deadline deadline) {
  std::vector<uint8_t> buffer(64 * 1024);
  for (;;) {
    if (!bodies_.empty()) {
      std::vector<uint8_t> body = std::move(bodies_.front());
      bodies_.erase(bodies_.begin());
      std::optional<UiLinkReply> reply = DecodeUiLinkReply(body);
      if (!reply) {
        error = "the host sent a reply too short for its header";
        return std::nullopt;
      }
      return reply;
    }
    if (output_ended_) {
      error = "the host ended before answering";
      return std::nullopt;
    }
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      pollfd output{from_host_, POLLIN, 0};
      const int ready = poll(&output, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        error = kNoReplyInTime;
        return std::nullopt;
      }
    }
    ssize_t n = read(from_host_, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::string("reading from the host failed: ") + PosixErrorText(errno);
      return std::nullopt;
    }
    output_ended_ = n == 0;
    if (n == 0) continue;
    if (!parser_.feed(buffer.data(), static_cast<size_t>(n), bodies_)) {
      error = "the host sent a frame over the size limit";
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
  while (!wait_status_ && from_host_ >= 0) {
    ssize_t n = read(from_host_, buffer.data(), buffer.size());
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
  CloseFd(from_host_);
  return Wait(std::nullopt).value_or(-1);
}

}  // namespace corvella
