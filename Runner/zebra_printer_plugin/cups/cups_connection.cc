#include "cups/cups_connection.h"

#include <climits>

namespace corvella {

namespace {

using Clock = std::chrono::steady_clock;

// Called by libcups when the server wants a password: none is given. The
// host never prompts (libcups would ask on the user's terminal and wait
// for an answer).
const char* DeclinePassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

}  // namespace

CupsConnection::CupsConnection(Deadline deadline, const std::atomic<bool>* cancelled)
    : deadline_(deadline), cancelled_(cancelled) {
  cupsSetPasswordCB2(DeclinePassword, nullptr);
  int timeout_ms = -1;
  if (deadline_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
    if (left.count() <= 0) return;
    timeout_ms = left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
  }
  if (cancelled_ != nullptr && cancelled_->load()) return;
  http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, timeout_ms,
                       nullptr);
  if (http_ != nullptr && (deadline_ || cancelled_ != nullptr)) {
    httpSetTimeout(http_, std::chrono::duration<double>(kCheckInterval).count(), keepWaiting, this);
  }
}

CupsConnection::~CupsConnection() {
  if (http_ != nullptr) httpClose(http_);
}

// Called by libcups each time a read or write has waited kCheckInterval: 1
// waits on, 0 gives up.
int CupsConnection::keepWaiting(http_t*, void* self) {
  const auto* connection = static_cast<const CupsConnection*>(self);
  const bool cancelled = connection->cancelled_ != nullptr && connection->cancelled_->load();
  const bool late = connection->deadline_ && Clock::now() >= *connection->deadline_;
  return cancelled || late ? 0 : 1;
}

}  // namespace corvella
