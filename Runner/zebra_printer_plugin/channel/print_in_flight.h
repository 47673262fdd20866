#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "process/child_stopper.h"

namespace corvella {

// One print handed to the background and not yet answered, as the end of
// the application sees it. The print's work (on a background thread)
// begins it, runs its tools under its stopper and finishes it; the end (on
// the main thread) ends it, which settles its fate:
// - a print that has not begun is never made;
// - one whose tool holds the whole label is left to that tool, which is
//   never killed (the print server may have begun to take the label);
// - one whose label is not yet whole in a tool's hands, or that is between
//   two steps, makes no further step, and its tool is killed before it can
//   see the end of its input: a cut label is never printed.
// Thread-safe.
class PrintInFlight {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Fate { kFinished, kLeftWhole, kNotStarted, kCutOff };

  PrintInFlight() = default;
  PrintInFlight(const PrintInFlight&) = delete;
  PrintInFlight& operator=(const PrintInFlight&) = delete;

  // The work begins; false when the print was ended first, and nothing is
  // to be printed.
  bool begin();
  // The stopper the work's tools run under.
  ChildStopper* stopper() { return &stopper_; }
  // The work is over: its label was queued, or not.
  void finish(bool queued);

  // Ends the print and says what became of it. A print between two steps
  // settles at once (it finishes, or finds itself stopped); it is waited for
  // until `settle_by` at most.
  Fate end(Clock::time_point settle_by);

 private:
  ChildStopper stopper_{ChildStopper::Spare::kWholeInput};
  std::mutex mutex_;
  std::condition_variable finished_changed_;
  bool ended_ = false;
  bool begun_ = false;
  bool finished_ = false;
  bool queued_ = false;
};

}  // namespace corvella
