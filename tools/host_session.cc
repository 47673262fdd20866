#include "tools/host_session.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Runner/posix_error.h"

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

std::unique_ptr<HostSession> HostSession::Start(const std::string& host_path, std::string& error) {
  if (access(host_path.c_str(), X_OK) != 0) {
    error = "cannot run the host " + host_path + ": " + PosixErrorText(errno);
    return nullptr;
  }
  int to_host[2];
  int from_host[2];
  if (pipe2(to_host, O_CLOEXEC) != 0) {
    error = std::string("pipe2 failed: ") + PosixErrorText(errno);
    return nullptr;
  }
  if (pipe2(from_host, O_CLOEXEC) != 0) {
    error = std::string("pipe2 failed: ") + PosixErrorText(errno);
    CloseFd(to_host[0]);
    CloseFd(to_host[1]);
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
    char* argv[] = {const_cast<char*>(host_path.c_str()), nullptr};
    if ((spawned = posix_spawn_file_actions_adddup2(&actions, to_host[0], STDIN_FILENO)) == 0 &&
        (spawned = posix_spawn_file_actions_adddup2(&actions, from_host[1], STDOUT_FILENO)) == 0 &&
        (spawned = posix_spawnattr_setsigdefault(&attributes, &defaults)) == 0 &&
        (spawned = posix_spawnattr_setsigmask(&attributes, &none)) == 0 &&
        (spawned = posix_spawnattr_setflags(&attributes,
                                            POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK)) == 0) {
      spawned = posix_spawn(&pid, host_path.c_str(), &actions, &attributes, argv, environ);
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
  if (to_host_ < 0) {
    error = "the link is closed";
    return std::nullopt;
  }
  const uint32_t id = next_id_++;
  if (!WriteAll(to_host_, EncodeUiLinkCall(id, channel, message))) {
    error = "the host stopped reading";
    return std::nullopt;
  }
  return id;
}

std::optional<UiLinkReply> HostSession::Receive(std::string& error) {
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
    ssize_t n = read(from_host_, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::string("reading from the host failed: ") + PosixErrorText(errno);
      return std::nullopt;
    }
    if (n == 0) {
      error = "the host ended before answering";
      return std::nullopt;
    }
    if (!parser_.feed(buffer.data(), static_cast<size_t>(n), bodies_)) {
      error = "the host sent a frame over the size limit";
      return std::nullopt;
    }
  }
}

int HostSession::Close() {
  if (wait_status_) return *wait_status_;
  CloseFd(to_host_);
  // Whatever the host still writes is of no use now; reading it to the end
  // keeps the host from blocking on a full pipe while it finishes.
  std::vector<uint8_t> buffer(64 * 1024);
  for (;;) {
    ssize_t n = read(from_host_, buffer.data(), buffer.size());
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  CloseFd(from_host_);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) {
      status = -1;
      break;
    }
  }
  wait_status_ = status;
  return status;
}

}  // namespace corvella
