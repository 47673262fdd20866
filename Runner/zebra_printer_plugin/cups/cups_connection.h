#pragma once

#include <cups/cups.h>

#include <atomic>
#include <chrono>

#include "process/deadline.h"

namespace corvella {

// A connection to the scheduler that libcups finds (CUPS_SERVER,
// client.conf), for requests made on the calling thread, which they block.
// It never prompts: a server that wants a password is declined, for the
// calling thread (libcups keeps that choice per thread), and the request
// fails. Every wait of libcups on it gives up once `deadline` has passed or
// `cancelled` is set, checked every kCheckInterval, so a scheduler that
// stops answering holds the thread no longer than that.
class CupsConnection {
 public:
  static constexpr std::chrono::milliseconds kCheckInterval{100};

  explicit CupsConnection(Deadline deadline, const std::atomic<bool>* cancelled = nullptr);
  ~CupsConnection();
  CupsConnection(const CupsConnection&) = delete;
  CupsConnection& operator=(const CupsConnection&) = delete;

  // The connection; nullptr when none was made in time.
  http_t* get() const { return http_; }

 private:
  static int keepWaiting(http_t* http, void* self);

  Deadline deadline_;
  const std::atomic<bool>* cancelled_;
  http_t* http_ = nullptr;
};

}  // namespace corvella
