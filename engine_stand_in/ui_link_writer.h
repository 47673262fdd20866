#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Writes UI link frames to the link's output on a thread of its own, so that
// a user interface that reads slowly (or not at all) never holds up the
// caller. Frames are written whole and in the order they were sent.
class UiLinkWriter {
 public:
  // Takes ownership of `fd` and starts the writing thread.
  explicit UiLinkWriter(int fd);
  UiLinkWriter(const UiLinkWriter&) = delete;
  UiLinkWriter& operator=(const UiLinkWriter&) = delete;
  // As close(kCloseDeadline).
  ~UiLinkWriter();

  static constexpr std::chrono::seconds kCloseDeadline{30};

  // Queues one frame. Safe from any thread; never blocks on the output.
  // After close, or once the output has failed, frames are dropped.
  void send(std::vector<uint8_t> frame);

  // Calls `callback` once every frame sent before this call has been written
  // (or can never be, because the output failed). It runs on the writing
  // thread, or at once on the calling thread when nothing is waiting.
  void whenFlushed(std::function<void()> callback);

  // Writes what is queued, giving up after `deadline` (one log line says how
  // much was lost), then closes the output and ends the thread. Blocking.
  void close(std::chrono::milliseconds deadline);

  bool failed() const;

 private:
  void WriterLoop();
  // Writes all of `frame`; false when the output failed or the close deadline
  // passed.
  bool WriteFrame(const std::vector<uint8_t>& frame);
  void RunFlushedCallbacks(std::unique_lock<std::mutex>& lock);

  int fd_;
  bool is_socket_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> queue_;
  bool writing_ = false;
  bool closing_ = false;
  bool closed_ = false;
  bool failed_ = false;
  std::chrono::steady_clock::time_point close_deadline_;
  std::vector<std::function<void()>> flushed_callbacks_;
  std::thread thread_;
};
