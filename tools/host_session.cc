#include "tools/host_session.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "process/child_spawn.h"
#include "process/failure.h"
#include "process/write_all.h"

namespace corvella {

std::unique_ptr<HostSession> HostSession::start(const std::string& host_path,
                                                const Options& options, std::string& reason) {
  if (access(host_path.c_str(), X_OK) != 0) {
    reason = "cannot run the host " + host_path + ": " + PosixErrorText(errno);
    return nullptr;
  }
  const bool link = options.input == Options::Input::kLink;
  std::optional<Pipe> to_host;
  if (link && !(to_host = MakePipe(reason))) return nullptr;
  std::optional<Pipe> from_host = MakePipe(reason);
  if (!from_host) return nullptr;
  // Small enough to sit in the pipe before anyone reads it.
  if (link) {
    const std::vector<uint8_t>& early = options.written_before_start;
    if (early.size() > PIPE_BUF ||
        !WriteAll(to_host->write.get(),
                  std::string_view(reinterpret_cast<const char*>(early.data()), early.size()))) {
      reason = "cannot write the bytes due before the start";
      return nullptr;
    }
  }
  ChildStreams streams;
  if (link) {
    streams.input = ChildStream::descriptor(to_host->read.get());
  } else if (options.input == Options::Input::kDevNull) {
    streams.input.kind = ChildStream::Kind::kDevNull;
  } else {
    streams.input.kind = ChildStream::Kind::kClosed;
  }
  streams.output = ChildStream::descriptor(from_host->write.get());
  if (options.error_fd >= 0) streams.error = ChildStream::descriptor(options.error_fd);
  const std::optional<pid_t> pid = SpawnChild(host_path, options.arguments, streams, reason);
  if (!pid) return nullptr;
  return std::unique_ptr<HostSession>(new HostSession(
      *pid, link ? std::move(to_host->write) : UniqueFd(), std::move(from_host->read)));
}

HostSession::~HostSession() { close(); }

std::optional<std::vector<uint8_t>> HostSession::call(const std::string& channel,
                                                      const std::vector<uint8_t>& message,
                                                      std::string& reason) {
  std::optional<uint32_t> id = send(channel, message, reason);
  if (!id) return std::nullopt;
  std::optional<UiLinkReply> reply = receive(reason);
  if (!reply) return std::nullopt;
  if (reply->id != *id) {
    reason = "the host sent a reply that belongs to no call";
    return std::nullopt;
  }
  return std::move(reply->reply);
}

std::optional<uint32_t> HostSession::send(const std::string& channel,
                                          const std::vector<uint8_t>& message,
                                          std::string& reason) {
  const uint32_t id = next_id_++;
  if (!write(EncodeUiLinkCall(id, channel, message))) {
    reason = to_host_.valid() ? "the host stopped reading" : "the link is closed";
    return std::nullopt;
  }
  return id;
}

bool HostSession::write(const std::vector<uint8_t>& bytes) {
  return to_host_.valid() &&
         WriteAll(to_host_.get(),
                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void HostSession::closeInput() { to_host_.reset(); }

std::optional<UiLinkReply> HostSession::receive(std::string& reason, Deadline deadline) {
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

std::optional<int> HostSession::wait(Deadline deadline) {
  while (!wait_status_) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, deadline ? WNOHANG : 0);
    if (done == pid_) {
      wait_status_ = status;
    } else if (done < 0 && errno != EINTR) {
      return std::nullopt;
    } else if (deadline && Clock::now() >= *deadline) {
      kill(pid_, SIGKILL);
      wait(std::nullopt);
      return std::nullopt;
    } else if (deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return wait_status_;
}

int HostSession::close() {
  closeInput();
  // Whatever a running host still writes is of no use now; reading it to
  // the end keeps the host from blocking on a full pipe while it finishes.
  std::vector<uint8_t> buffer(64 * 1024);
  while (!wait_status_ && from_host_.valid()) {
    ssize_t n = read(from_host_.get(), buffer.data(), buffer.size());
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
  from_host_.reset();
  return wait(std::nullopt).value_or(-1);
}

}  // namespace corvella
