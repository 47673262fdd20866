#include "cups/cups_destinations.h"

#include <cups/cups.h>

#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace corvella {

namespace {

// Called by libcups when a read or write has waited its time: 0 gives up.
// The time is up for the whole list, so every later wait on the connection
// (libcups sends several requests, and may reconnect) gives up at once too.
int GiveUp(http_t* http, void*) {
  httpSetTimeout(http, 0.001, GiveUp, nullptr);
  return 0;
}

// Called by libcups when the server wants a password: none is given. The
// host never prompts (libcups would ask on the user's terminal and wait
// for an answer); a list that needs a password is an empty one.
const char* DeclinePassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

// The list as libcups gives it; `timeout_ms` below 0 for no time limit.
std::vector<std::string> ReadDestinationNames(int timeout_ms) {
  // libcups keeps the callback per thread.
  cupsSetPasswordCB2(DeclinePassword, nullptr);
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              timeout_ms, nullptr);
  if (http == nullptr) return {};
  if (timeout_ms >= 0) httpSetTimeout(http, timeout_ms / 1000.0, GiveUp, nullptr);
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(http, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    if (dests[i].instance != nullptr || dests[i].name == nullptr) continue;
    names.emplace_back(dests[i].name);
  }
  cupsFreeDests(count, dests);
  httpClose(http);
  return names;
}

}  // namespace

std::vector<std::string> CupsDestinationNames(Deadline deadline) {
  if (!deadline) return ReadDestinationNames(-1);
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return {};
  const int timeout_ms = left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());

  // libcups bounds each wait, not the whole exchange (it adds waits of its
  // own between requests), so the list is read on a thread of its own and
  // this thread waits no longer than the deadline. A reader left behind
  // gives up on its own soon after, and nothing it touches is shared but
  // this state.
  struct Pending {
    std::mutex mutex;
    std::condition_variable done_changed;
    bool done = false;
    std::vector<std::string> names;
  };
  auto pending = std::make_shared<Pending>();
  try {
    std::thread([pending, timeout_ms] {
      std::vector<std::string> names = ReadDestinationNames(timeout_ms);
      std::lock_guard<std::mutex> lock(pending->mutex);
      pending->names = std::move(names);
      pending->done = true;
      pending->done_changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: read here, within the same per-wait limits.
    return ReadDestinationNames(timeout_ms);
  }
  std::unique_lock<std::mutex> lock(pending->mutex);
  if (!pending->done_changed.wait_until(lock, *deadline, [&] { return pending->done; })) return {};
  return std::move(pending->names);
}

}  // namespace corvella
