#include "engine_stand_in/ui_link_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <glib.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

void CloseFd(int fd) {
  if (fd < 0) return;
  // Linux releases the descriptor even when close reports EINTR.
  ::close(fd);
}

}  // namespace

UiLinkReader::UiLinkReader(int fd, CallSink on_call, EndSink on_end)
    : fd_(fd), on_call_(std::move(on_call)), on_end_(std::move(on_end)) {
  int wake[2];
  if (pipe2(wake, O_CLOEXEC) == 0) {
    wake_read_ = wake[0];
    wake_write_ = wake[1];
  } else {
    // Without a wake pipe stop() cannot interrupt a blocked read; the
    // thread then ends with the input.
    g_warning("%s", std::string(std::string("UI link: pipe2 failed: ") + g_strerror(errno)).c_str());
  }
  thread_ = std::thread([this] { ReadLoop(); });
}

UiLinkReader::~UiLinkReader() { stop(); }

void UiLinkReader::stop() {
  if (stopped_) return;
  stopped_ = true;
  if (wake_write_ >= 0) {
    const char byte = 1;
    while (write(wake_write_, &byte, 1) < 0 && errno == EINTR) {
    }
  }
  thread_.join();
  CloseFd(fd_);
  CloseFd(wake_read_);
  CloseFd(wake_write_);
  fd_ = wake_read_ = wake_write_ = -1;
}

void UiLinkReader::ReadLoop() {
  UiLinkFrameParser parser;
  std::vector<uint8_t> buffer(64 * 1024);
  std::vector<std::vector<uint8_t>> bodies;
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
    const nfds_t count = wake_read_ >= 0 ? 2 : 1;
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      g_warning("%s", std::string(std::string("UI link: poll failed: ") + g_strerror(errno) +
                                  "; the link ends")
                          .c_str());
      on_end_(End::kReadError);
      return;
    }
    if (count == 2 && fds[1].revents != 0) return;  // stopped
    if (fds[0].revents == 0) continue;
    ssize_t n = read(fd_, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      g_warning("%s", std::string(std::string("UI link: reading failed: ") + g_strerror(errno) +
                                  "; the link ends")
                          .c_str());
      on_end_(End::kReadError);
      return;
    }
    if (n == 0) {
      if (parser.insideFrame()) {
        g_warning("%s",
                  std::string("UI link: the input ended inside a frame; the link ends").c_str());
        on_end_(End::kInsideFrame);
      } else {
        on_end_(End::kEndOfInput);
      }
      return;
    }
    bodies.clear();
    const bool ok = parser.feed(buffer.data(), static_cast<size_t>(n), bodies);
    // Messages completed before a broken frame still count as received.
    std::vector<UiLinkCall> calls;
    bool short_body = false;
    for (auto& body : bodies) {
      const size_t body_size = body.size();
      std::optional<UiLinkCall> call = DecodeUiLinkCall(std::move(body));
      if (!call) {
        g_warning("%s", std::string("UI link: a frame body of " + std::to_string(body_size) +
                                    " bytes is too short for its header; the link ends")
                            .c_str());
        short_body = true;
        break;
      }
      calls.push_back(std::move(*call));
    }
    if (!calls.empty()) on_call_(std::move(calls));
    if (short_body) {
      on_end_(End::kShortBody);
      return;
    }
    if (!ok) {
      g_warning("%s", std::string("UI link: a frame is over the limit of " +
                                  std::to_string(kUiLinkMaxFrameLength) + " bytes; the link ends")
                          .c_str());
      on_end_(End::kOverLimit);
      return;
    }
  }
}
