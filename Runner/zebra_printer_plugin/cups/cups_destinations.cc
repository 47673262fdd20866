#include "cups/cups_destinations.h"

#include <cups/cups.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "cups/cups_connection.h"

namespace corvella {

namespace {

// The list as libcups gives it, read by `deadline`.
std::vector<std::string> ReadDestinationNames(Deadline deadline) {
  const CupsConnection connection(deadline);
  if (connection.get() == nullptr) return {};
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(connection.get(), &dests);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    if (dests[i].instance != nullptr || dests[i].name == nullptr) continue;
    names.emplace_back(dests[i].name);
  }
  cupsFreeDests(count, dests);
  return names;
}

}  // namespace

std::vector<std::string> CupsDestinationNames(Deadline deadline) {
  if (!deadline) return ReadDestinationNames(deadline);
  if (std::chrono::steady_clock::now() >= *deadline) return {};

  // libcups bounds each wait, not the whole exchange (a name lookup is not
  // one of its waits), so the list is read on a thread of its own and this
  // thread waits no longer than the deadline. A reader left behind gives up
  // on its own soon after, and nothing it touches is shared but this state.
  struct Pending {
    std::mutex mutex;
    std::condition_variable done_changed;
    bool done = false;
    std::vector<std::string> names;
  };
  auto pending = std::make_shared<Pending>();
  try {
    std::thread([pending, deadline] {
      std::vector<std::string> names = ReadDestinationNames(deadline);
      std::lock_guard<std::mutex> lock(pending->mutex);
      pending->names = std::move(names);
      pending->done = true;
      pending->done_changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: read here, within the same limits.
    return ReadDestinationNames(deadline);
  }
  std::unique_lock<std::mutex> lock(pending->mutex);
  if (!pending->done_changed.wait_until(lock, *deadline, [&] { return pending->done; })) return {};
  return std::move(pending->names);
}

}  // namespace corvella
