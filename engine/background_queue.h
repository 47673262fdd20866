#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

// The shared concurrent queue for work that must not hold the main thread.
// Items are not serialised: a new worker thread is started whenever every
// existing one is busy, up to kMaxWorkers, so at least 16 items run at once.
// Idle workers end after a few seconds.
class BackgroundQueue {
 public:
  using WorkItem = std::function<void()>;
  static constexpr size_t kMaxWorkers = 64;

  static BackgroundQueue& shared();

  void post(WorkItem item);

  // Items posted and not yet finished (queued or running).
  size_t inFlight() const;

  // Blocks until no item is in flight. Not for the main thread while items
  // still need main-queue answers drained; use MainQueue::runUntilIdle there.
  void waitIdle();

  size_t workerCount() const;

 private:
  BackgroundQueue() = default;
  void WorkerLoop();

  mutable std::mutex mutex_;
  std::condition_variable work_available_;
  std::condition_variable idle_;
  std::deque<WorkItem> items_;
  size_t in_flight_ = 0;
  size_t workers_ = 0;
  size_t idle_workers_ = 0;
};
