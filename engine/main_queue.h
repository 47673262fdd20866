#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The queue of work items that run on the main thread, one at a time, in the
// order they were posted. Posting is safe from any thread; draining happens
// only on the main thread (the GTK main loop in the app, the test harness in
// tests).
class MainQueue {
 public:
  using WorkItem = std::function<void()>;

  static MainQueue& shared();

  // Marks the calling thread as the main thread.
  void bindToCurrentThread();
  bool isMainThread() const;

  void post(WorkItem item);

  // Called (from the posting thread) after each post, to wake the loop that
  // drains the queue. Install before any item is posted.
  void setWakeup(std::function<void()> wakeup);

  // Runs every item queued, including those posted while draining. Main
  // thread only. Returns the number of items run.
  size_t drain();

  // Drains until the queue is empty and the shared background queue has no
  // item in flight, waiting for background items to post their answers.
  // Main thread only.
  void runUntilIdle();

  // Wakes runUntilIdle to look again; the background queue calls it when an
  // item ends.
  void notifyStateChanged();

 private:
  MainQueue() = default;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WorkItem> items_;
  std::function<void()> wakeup_;
  std::thread::id main_thread_;
};
