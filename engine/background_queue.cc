#include "engine/background_queue.h"

#include <chrono>
#include <thread>

#include "engine/log.h"
#include "engine/main_queue.h"

BackgroundQueue& BackgroundQueue::shared() {
  // Never destroyed: its detached workers outlive static destruction.
  static BackgroundQueue* queue = new BackgroundQueue;
  return *queue;
}

void BackgroundQueue::post(WorkItem item) {
  bool start_worker = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
    ++in_flight_;
    if (idle_workers_ < items_.size() && workers_ < kMaxWorkers) {
      ++workers_;
      start_worker = true;
    }
  }
  work_available_.notify_one();
  if (!start_worker) return;
  try {
    std::thread([this] { WorkerLoop(); }).detach();
  } catch (const std::system_error& error) {
    // Existing workers still drain the queue; with none at all the item
    // would wait for the next successful start.
    std::lock_guard<std::mutex> lock(mutex_);
    --workers_;
    Log(std::string("Background worker could not start: ") + error.what());
  }
}

void BackgroundQueue::WorkerLoop() {
  using namespace std::chrono_literals;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_workers_;
    bool got = work_available_.wait_for(lock, 5s, [this] { return !items_.empty(); });
    --idle_workers_;
    if (!got) {
      --workers_;
      return;
    }
    WorkItem item = std::move(items_.front());
    items_.pop_front();
    lock.unlock();
    item();
    item = nullptr;
    lock.lock();
    --in_flight_;
    if (in_flight_ == 0) idle_.notify_all();
    // Notified without our lock held: MainQueue takes its own lock and then
    // ours, never the reverse.
    lock.unlock();
    MainQueue::shared().notifyStateChanged();
    lock.lock();
  }
}

size_t BackgroundQueue::inFlight() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return in_flight_;
}

size_t BackgroundQueue::workerCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return workers_;
}

void BackgroundQueue::waitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return in_flight_ == 0; });
}
