#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

// What the UI link holds for the user interface and has not handed on yet:
// messages read and not yet dispatched, replies given and not yet written.
// Reading waits while it is over kLimit, so a user interface that stops
// reading its replies (or a main thread that falls behind) cannot make the
// host hold them without bound. Shared by the link's threads.
class UiLinkBacklog {
 public:
  static constexpr size_t kLimit = size_t{4} << 20;
  // What an item costs beyond its bytes (its allocation and its place in a
  // queue), counted with them, so the bound holds for small items too.
  static constexpr size_t kItemCost = 128;

  void add(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ += bytes + kItemCost;
  }
  void remove(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ -= bytes + kItemCost;
    changed_.notify_all();
  }
  // True when the backlog is within kLimit, waiting up to `wait` for it.
  bool hasRoom(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, wait, [this] { return bytes_ <= kLimit; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t bytes_ = 0;
};
