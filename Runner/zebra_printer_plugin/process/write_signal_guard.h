#pragma once

#include <signal.h>

namespace corvella {

// While it lives, a write on the calling thread that would raise SIGPIPE (a
// pipe whose reader has gone) or SIGXFSZ (a file past the process's size
// limit) fails with EPIPE or EFBIG instead of ending the host. Such a
// signal raised meanwhile is consumed before the thread's old signal mask
// comes back; one that was pending before is left alone. Nothing
// process-wide is touched, and errno is kept.
class WriteSignalGuard {
 public:
  WriteSignalGuard();
  ~WriteSignalGuard();
  WriteSignalGuard(const WriteSignalGuard&) = delete;
  WriteSignalGuard& operator=(const WriteSignalGuard&) = delete;

 private:
  sigset_t signals_;
  sigset_t old_mask_;
  sigset_t pending_before_;
};

}  // namespace corvella
