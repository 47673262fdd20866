#pragma once

#include <atomic>
#include <memory>

// Binds the main queue to the GLib main context of the calling (main) thread:
// every post, from any thread, makes the main loop drain the queue soon after,
// in a dispatch of its own (never inside the post). Wakeups that arrive while
// one is already pending are merged into it.
class MainQueueWakeup {
 public:
  // Marks the calling thread as the main thread and installs the wakeup.
  MainQueueWakeup();
  MainQueueWakeup(const MainQueueWakeup&) = delete;
  MainQueueWakeup& operator=(const MainQueueWakeup&) = delete;
  // Removes the wakeup; items posted later wait for the next drain.
  ~MainQueueWakeup();

 private:
  struct State {
    std::atomic<bool> pending{false};
  };
  static void Schedule(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
};
