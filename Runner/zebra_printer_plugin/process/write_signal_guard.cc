#include "process/write_signal_guard.h"

#include <pthread.h>

#include <cerrno>

namespace corvella {

namespace {

constexpr int kWriteSignals[] = {SIGPIPE, SIGXFSZ};

}  // namespace

WriteSignalGuard::WriteSignalGuard() {
  sigemptyset(&signals_);
  for (const int signal_number : kWriteSignals) sigaddset(&signals_, signal_number);
  pthread_sigmask(SIG_BLOCK, &signals_, &old_mask_);
  if (sigpending(&pending_before_) != 0) sigemptyset(&pending_before_);
}

WriteSignalGuard::~WriteSignalGuard() {
  const int saved_errno = errno;
  sigset_t pending;
  if (sigpending(&pending) == 0) {
    for (const int signal_number : kWriteSignals) {
      if (sigismember(&pending, signal_number) != 1 ||
          sigismember(&pending_before_, signal_number) == 1) {
        continue;
      }
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, signal_number);
      const timespec no_wait{0, 0};
      while (sigtimedwait(&one, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  errno = saved_errno;
}

}  // namespace corvella
