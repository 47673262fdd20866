#include "printer_discovery.h"

#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "child_process.h"
#include "cups_destinations.h"
#include "lpstat_output.h"
#include "process_runner.h"

namespace corvella {

using Clock = std::chrono::steady_clock;

// Whether the print system is marked as stalled, and the one background
// check that clears the mark. Shared with the check's thread, which may
// outlive a query; the mark is read and written under the lock.
class PrinterDiscovery::StallWatch : public std::enable_shared_from_this<StallWatch> {
 public:
  // `answers` makes one attempt at what a query asks, bounded by the query
  // limit, and tells whether it was answered in time.
  explicit StallWatch(std::function<bool()> answers) : answers_(std::move(answers)) {}

  bool stalled() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stalled_;
  }

  // Called when a query used up its time: marks the print system as stalled
  // and starts the check, unless one is running already.
  void markStalled() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stalled_ = true;
      if (checking_) return;
      checking_ = true;
    }
    try {
      std::thread([self = shared_from_this()] { self->checkUntilAnswered(); }).detach();
    } catch (const std::system_error&) {
      // No thread to be had: nothing could clear the mark, so none is kept,
      // and queries go on waiting their own limit.
      std::lock_guard<std::mutex> lock(mutex_);
      stalled_ = false;
      checking_ = false;
    }
  }

 private:
  // One attempt after another until one is answered in time. A print system
  // that comes back answers the attempt waiting on it right away, so the
  // mark clears within moments of its return.
  void checkUntilAnswered() {
    while (!answers_()) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_ = false;
    checking_ = false;
  }

  const std::function<bool()> answers_;
  std::mutex mutex_;
  bool stalled_ = false;
  bool checking_ = false;
};

PrinterDiscovery::PrinterDiscovery(PrintTools tools, PlatformList platformList)
    : tools_(std::move(tools)),
      platformList_(platformList ? std::move(platformList) : PlatformList(CupsDestinationNames)),
      stallWatch_(std::make_shared<StallWatch>([lpstat = tools_.lpstat, platform = platformList_] {
        // Both sources of the list, as a query asks them, but quietly: an
        // outage is logged once, by the query that ran into it. A tool that
        // cannot start or fails has not hung.
        const Clock::time_point deadline = Clock::now() + kQueryTimeLimit;
        std::string reason;
        std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
            lpstat, {"-a"}, ChildProcess::Capture::kStandardOutput, reason, nullptr, deadline);
        if (outcome && outcome->timedOut) return false;
        platform(deadline);
        return Clock::now() < deadline;
      })) {}

std::vector<std::string> PrinterDiscovery::getPrinterNames() const {
  if (stallWatch_->stalled()) return {};
  const Clock::time_point deadline = Clock::now() + kQueryTimeLimit;
  std::vector<std::string> names = printerNamesBy(deadline);
  if (Clock::now() >= deadline) stallWatch_->markStalled();
  return names;
}

std::vector<std::string> PrinterDiscovery::printerNamesBy(Deadline deadline) const {
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-a"}, deadline)) {
    std::vector<std::string> names = PrinterNamesFromLpstatA(*output);
    if (!names.empty()) return names;
  }
  return unique(platformList_(deadline));
}

// One deadline for every step: lpstat -d, then lpstat -a, then the platform
// list.
std::optional<std::string> PrinterDiscovery::getDefaultPrinterName() const {
  if (stallWatch_->stalled()) return std::nullopt;
  const Clock::time_point deadline = Clock::now() + kQueryTimeLimit;
  std::optional<std::string> name;
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-d"}, deadline)) {
    name = DefaultPrinterFromLpstatD(*output);
  }
  if (!name) {
    std::vector<std::string> names = printerNamesBy(deadline);
    if (!names.empty()) name = std::move(names.front());
  }
  if (Clock::now() >= deadline) stallWatch_->markStalled();
  return name;
}

}  // namespace corvella
