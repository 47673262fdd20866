#include "cups/printer_discovery.h"

#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "cups/cups_destinations.h"
#include "cups/lpstat_output.h"
#include "process/child_process.h"
#include "process/process_runner.h"

namespace corvella {

using Clock = std::chrono::steady_clock;

// Whether the print system is marked as stalled, and the one background
// check that clears the mark. The mark is read and written under the lock.
// The check's children run with the watch's stopper: stop() kills the one
// running, and waits for the check's thread, which reaps it, so nothing the
// check started outlives the watch.
class PrinterDiscovery::StallWatch {
 public:
  // `answers` makes one attempt at what a query asks, bounded by the query
  // limit and ended by `stopper`, and tells whether it was answered in time.
  explicit StallWatch(std::function<bool(ChildStopper& stopper)> answers)
      : answers_(std::move(answers)) {}
  ~StallWatch() { stop(); }
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  bool stalled() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stalled_;
  }

  // Called when a query used up its time: marks the print system as stalled
  // and starts the check, unless one is running already or the watch has
  // stopped.
  void markStalled() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    stalled_ = true;
    if (checking_) return;
    if (check_.joinable()) check_.join();  // a check that has ended
    try {
      check_ = std::thread([this] { checkUntilAnswered(); });
      checking_ = true;
    } catch (const std::system_error&) {
      // No thread to be had: nothing could clear the mark, so none is kept,
      // and queries go on waiting their own limit.
      stalled_ = false;
    }
  }

  // Ends the check: its child is killed and reaped, its thread joined. No
  // check starts after this.
  void stop() {
    std::thread check;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
      check = std::move(check_);
    }
    stopper_.stop();
    if (check.joinable()) check.join();
  }

 private:
  // One attempt after another until one is answered in time. A print system
  // that comes back answers the attempt waiting on it right away, so the
  // mark clears within moments of its return.
  void checkUntilAnswered() {
    while (!stopper_.stopped() && !answers_(stopper_)) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopped_) stalled_ = false;
    checking_ = false;
  }

  const std::function<bool(ChildStopper&)> answers_;
  ChildStopper stopper_{ChildStopper::Spare::kNothing};
  std::mutex mutex_;
  std::thread check_;
  bool stalled_ = false;
  bool checking_ = false;
  bool stopped_ = false;
};

PrinterDiscovery::PrinterDiscovery(PrintTools tools, PlatformList platformList)
    : tools_(std::move(tools)),
      platform_list_(platformList ? std::move(platformList) : PlatformList(CupsDestinationNames)),
      stall_watch_(std::make_unique<StallWatch>(
          [lpstat = tools_.lpstat, platform = platform_list_](ChildStopper& stopper) {
            // Both sources of the list, as a query asks them, but quietly:
            // an outage is logged once, by the query that ran into it. A
            // tool that cannot start or fails has not hung.
            const Clock::time_point deadline = Clock::now() + kQueryTimeLimit;
            ChildProcess::Options options;
            options.deadline = deadline;
            options.stopper = &stopper;
            std::string reason;
            std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
                lpstat, {"-a"}, ChildProcess::Capture::kStandardOutput, reason, options);
            if (stopper.stopped() || (outcome && outcome->timedOut)) return false;
            platform(deadline);
            return Clock::now() < deadline;
          })) {}

PrinterDiscovery::~PrinterDiscovery() = default;

void PrinterDiscovery::stopChecking() { stall_watch_->stop(); }

bool PrinterDiscovery::stalled() const { return stall_watch_->stalled(); }

void PrinterDiscovery::markStalled() const { stall_watch_->markStalled(); }

std::vector<std::string> PrinterDiscovery::getPrinterNames() const {
  if (stall_watch_->stalled()) return {};
  const Clock::time_point deadline = Clock::now() + kQueryTimeLimit;
  std::vector<std::string> names = printerNamesBy(deadline);
  if (Clock::now() >= deadline) stall_watch_->markStalled();
  return names;
}

std::vector<std::string> PrinterDiscovery::printerNamesBy(Deadline deadline) const {
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-a"}, deadline)) {
    std::vector<std::string> names = PrinterNamesFromLpstatA(*output);
    if (!names.empty()) return names;
  }
  return unique(platform_list_(deadline));
}

// One deadline for every step: lpstat -d, then lpstat -a, then the platform
// list.
std::optional<std::string> PrinterDiscovery::getDefaultPrinterName() const {
  if (stall_watch_->stalled()) return std::nullopt;
  const Clock::time_point deadline = Clock::now() + kQueryTimeLimit;
  std::optional<std::string> name;
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-d"}, deadline)) {
    name = DefaultPrinterFromLpstatD(*output);
  }
  if (!name) {
    std::vector<std::string> names = printerNamesBy(deadline);
    if (!names.empty()) name = std::move(names.front());
  }
  if (Clock::now() >= deadline) stall_watch_->markStalled();
  return name;
}

}  // namespace corvella
