#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>

namespace corvella {

// Ends a line of work's child processes early, from another thread. The
// work runs its children one after another, each through ChildProcess::run
// with this stopper. stop() lets no further child start and ends the one
// running by killing its process group (each child leads its own), unless
// the stopper spares children that hold their whole input: a print tool
// that has the whole label is left to deliver it, while one that holds a
// part of it must never see the end of its input, or it would print the
// part as if it were the label.
//
// A child is killed only after its start is known and before its run
// reaps it, so its process id cannot belong to another process yet.
// Thread-safe; stopping is for good.
class ChildStopper {
 public:
  enum class Spare { kNothing, kWholeInput };
  // What stop() found.
  enum class Found { kNoChild, kChildSpared, kChildKilled };

  explicit ChildStopper(Spare spare) : spare_(spare) {}
  ChildStopper(const ChildStopper&) = delete;
  ChildStopper& operator=(const ChildStopper&) = delete;

  // Stops, and ends the child running now as told above. A start under way
  // is waited for (it takes moments), so the answer is settled.
  Found stop();
  bool stopped() const;

  // The run's side, in this order: admit() before the start, false once
  // stopped (the child must not start); then started() with the child's
  // process id (and whether it already holds its whole input, as a child
  // without an input pipe does), or startFailed(); inputWhole() once the
  // child has been given all of its input; reaping() before it is reaped.
  bool admit();
  void started(pid_t pid, bool input_whole);
  void startFailed();
  void inputWhole();
  void reaping();

 private:
  const Spare spare_;
  mutable std::mutex mutex_;
  std::condition_variable start_settled_;
  bool stopped_ = false;
  bool starting_ = false;
  // The child that may be killed; 0 when none.
  pid_t pid_ = 0;
  bool input_whole_ = false;
};

}  // namespace corvella
