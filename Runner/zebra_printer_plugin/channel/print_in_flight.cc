#include "channel/print_in_flight.h"

namespace corvella {

bool PrintInFlight::begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) return false;
  begun_ = true;
  return true;
}

void PrintInFlight::finish(bool queued) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    queued_ = queued;
  }
  finished_changed_.notify_all();
}

PrintInFlight::Fate PrintInFlight::end(Clock::time_point settle_by) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    if (!begun_) return Fate::kNotStarted;
    if (finished_) return Fate::kFinished;
  }
  switch (stopper_.stop()) {
    case ChildStopper::Found::kChildSpared:
      return Fate::kLeftWhole;
    case ChildStopper::Found::kChildKilled:
      return Fate::kCutOff;
    case ChildStopper::Found::kNoChild:
      break;
  }
  // Between two steps (writing its file, or a tool just ended): no step
  // starts now, so the work finishes within moments. A label its last tool
  // queued was handed over whole.
  std::unique_lock<std::mutex> lock(mutex_);
  finished_changed_.wait_until(lock, settle_by, [this] { return finished_; });
  return finished_ && queued_ ? Fate::kLeftWhole : Fate::kCutOff;
}

}  // namespace corvella
