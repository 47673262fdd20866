#include "engine_stand_in/ui_link_writer.h"

#include <errno.h>
#include <glib.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

UiLinkWriter::UiLinkWriter(int fd) : fd_(fd) {
  struct stat info {};
  is_socket_ = fstat(fd_, &info) == 0 && S_ISSOCK(info.st_mode);
  thread_ = std::thread([this] { WriterLoop(); });
}

UiLinkWriter::~UiLinkWriter() { close(kCloseDeadline); }

void UiLinkWriter::send(std::vector<uint8_t> frame) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_ || failed_) return;
    queue_.push_back(std::move(frame));
  }
  changed_.notify_all();
}

void UiLinkWriter::whenFlushed(std::function<void()> callback) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queue_.empty() || writing_) {
      flushed_callbacks_.push_back(std::move(callback));
      return;
    }
  }
  callback();
}

bool UiLinkWriter::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

void UiLinkWriter::close(std::chrono::milliseconds deadline) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    closed_ = true;
    closing_ = true;
    close_deadline_ = std::chrono::steady_clock::now() + deadline;
  }
  changed_.notify_all();
  thread_.join();
  while (::close(fd_) != 0 && errno == EINTR) {
  }
}

void UiLinkWriter::RunFlushedCallbacks(std::unique_lock<std::mutex>& lock) {
  std::vector<std::function<void()>> callbacks;
  callbacks.swap(flushed_callbacks_);
  lock.unlock();
  for (auto& callback : callbacks) callback();
  lock.lock();
}

void UiLinkWriter::WriterLoop() {
  // A write to a pipe whose reader has gone raises SIGPIPE in the writing
  // thread; blocked here, it only makes the write fail with EPIPE. The mask
  // is this thread's alone, so child processes started elsewhere keep the
  // default disposition.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);

  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
    if (queue_.empty()) break;
    std::vector<uint8_t> frame = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    const bool written = WriteFrame(frame);
    lock.lock();
    writing_ = false;
    if (!written) {
      size_t lost = queue_.size() + 1;
      queue_.clear();
      if (!failed_) {
        failed_ = true;
        g_warning("%s", std::string("UI link: " + std::to_string(lost) +
                                    " reply frames could not be written")
                            .c_str());
      }
    }
    if (queue_.empty()) RunFlushedCallbacks(lock);
  }
  RunFlushedCallbacks(lock);
}

bool UiLinkWriter::WriteFrame(const std::vector<uint8_t>& frame) {
  size_t offset = 0;
  while (offset < frame.size()) {
    int timeout_ms = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failed_) return false;
      if (closing_) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            close_deadline_ - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
          g_warning(
              "%s",
              std::string("UI link: the user interface stopped reading; replies are lost").c_str());
          return false;
        }
        timeout_ms = static_cast<int>(std::min<long long>(left.count(), 200));
      } else {
        // Looks at the close flag again now and then while the output is full.
        timeout_ms = 200;
      }
    }
    pollfd out{fd_, POLLOUT, 0};
    int ready = poll(&out, 1, timeout_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      g_warning("%s", std::string(std::string("UI link: poll failed: ") + g_strerror(errno)).c_str());
      return false;
    }
    if (ready == 0) continue;
    // POLLOUT promises room for PIPE_BUF bytes, so a write of at most that
    // much does not block even on a blocking pipe.
    const size_t chunk = std::min<size_t>(frame.size() - offset, PIPE_BUF);
    ssize_t n = is_socket_ ? ::send(fd_, frame.data() + offset, chunk, MSG_NOSIGNAL | MSG_DONTWAIT)
                           : ::write(fd_, frame.data() + offset, chunk);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      if (errno != EPIPE)
        g_warning("%s",
                  std::string(std::string("UI link: writing failed: ") + g_strerror(errno)).c_str());
      return false;
    }
    offset += static_cast<size_t>(n);
  }
  return true;
}
