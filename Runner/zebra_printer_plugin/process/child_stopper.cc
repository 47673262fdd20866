#include "process/child_stopper.h"

#include <signal.h>

namespace corvella {

ChildStopper::Found ChildStopper::stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  stopped_ = true;
  start_settled_.wait(lock, [this] { return !starting_; });
  if (pid_ == 0) return Found::kNoChild;
  if (spare_ == Spare::kWholeInput && input_whole_) return Found::kChildSpared;
  // The group first: the child leads it, and anything it started is in it.
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  pid_ = 0;
  return Found::kChildKilled;
}

bool ChildStopper::stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

bool ChildStopper::admit() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return false;
  starting_ = true;
  return true;
}

void ChildStopper::started(pid_t pid, bool input_whole) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    starting_ = false;
    pid_ = pid;
    input_whole_ = input_whole;
  }
  start_settled_.notify_all();
}

void ChildStopper::startFailed() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    starting_ = false;
  }
  start_settled_.notify_all();
}

void ChildStopper::inputWhole() {
  std::lock_guard<std::mutex> lock(mutex_);
  input_whole_ = true;
}

void ChildStopper::reaping() {
  std::lock_guard<std::mutex> lock(mutex_);
  pid_ = 0;
}

}  // namespace corvella
