#include "engine/main_queue.h"

#include "engine/background_queue.h"

MainQueue& MainQueue::shared() {
  // Never destroyed: background threads may still post while the process
  // exits.
  static MainQueue* queue = new MainQueue;
  return *queue;
}

void MainQueue::bindToCurrentThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  main_thread_ = std::this_thread::get_id();
}

bool MainQueue::isMainThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return main_thread_ == std::this_thread::get_id();
}

void MainQueue::post(WorkItem item) {
  std::function<void()> wakeup;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
    wakeup = wakeup_;
  }
  changed_.notify_all();
  if (wakeup) wakeup();
}

void MainQueue::setWakeup(std::function<void()> wakeup) {
  std::lock_guard<std::mutex> lock(mutex_);
  wakeup_ = std::move(wakeup);
}

size_t MainQueue::drain() {
  size_t ran = 0;
  for (;;) {
    WorkItem item;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (items_.empty()) return ran;
      item = std::move(items_.front());
      items_.pop_front();
    }
    item();
    ++ran;
  }
}

void MainQueue::notifyStateChanged() {
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

void MainQueue::runUntilIdle() {
  BackgroundQueue& background = BackgroundQueue::shared();
  for (;;) {
    drain();
    std::unique_lock<std::mutex> lock(mutex_);
    // A background item posts its answer before it stops counting as in
    // flight, so "empty and nothing in flight" means nothing more will come.
    if (items_.empty() && background.inFlight() == 0) return;
    changed_.wait(lock, [&] { return !items_.empty() || background.inFlight() == 0; });
  }
}
