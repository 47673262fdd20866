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

PrinterDiscovery::PrinterDiscovery(PrintTools tools, PlatformList platform_list)
    : tools_(std::move(tools)),
      platform_list_(platform_list ? std::move(platform_list) : PlatformList(CupsDestinationNames)),
      stall_watch_(std::make_unique<StallWatch>([this](ChildStopper& stopper) {
        // The list, as a query asks for it, but quietly: an outage is logged
        // once, by the query that ran into it. A tool that cannot start or
        // fails has not hung.
        RunOptions options;
        options.deadline = Clock::now() + kQueryTimeLimit;
        options.stopper = &stopper;
        options.quiet = true;
        printerNamesBy(options);
        return Clock::now() < *options.deadline;
      })) {}

PrinterDiscovery::~PrinterDiscovery() = default;

void PrinterDiscovery::stopChecking() { stall_watch_->stop(); }

bool PrinterDiscovery::stalled() const { return stall_watch_->stalled(); }

void PrinterDiscovery::markStalled() const { stall_watch_->markStalled(); }

std::vector<std::string> PrinterDiscovery::getPrinterNames() const {
  if (stall_watch_->stalled()) return {};
  RunOptions options;
  options.deadline = Clock::now() + kQueryTimeLimit;
  std::vector<std::string> names = printerNamesBy(options);
  if (Clock::now() >= *options.deadline) stall_watch_->markStalled();
  return names;
}

std::vector<std::string> PrinterDiscovery::printerNamesBy(const RunOptions& options) const {
  if (std::optional<std::string> output =
          ProcessRunner::runShellOut(tools_.lpstat, {"-a"}, options)) {
    std::vector<std::string> names = LpstatOutput::printerNames(*output);
    if (!names.empty()) return names;
  }
  // A check that has been stopped asks nothing more.
  if (options.stopper != nullptr && options.stopper->stopped()) return {};
  return LpstatOutput::unique(platform_list_(options.deadline));
}

// One deadline for every step: lpstat -d, then lpstat -a, then the platform
// list.
std::optional<std::string> PrinterDiscovery::getDefaultPrinterName() const {
  if (stall_watch_->stalled()) return std::nullopt;
  RunOptions options;
  options.deadline = Clock::now() + kQueryTimeLimit;
  std::optional<std::string> name;
  if (std::optional<std::string> output =
          ProcessRunner::runShellOut(tools_.lpstat, {"-d"}, options)) {
    name = LpstatOutput::defaultPrinter(*output);
  }
  if (!name) {
    std::vector<std::string> names = printerNamesBy(options);
    if (!names.empty()) name = std::move(names.front());
  }
  if (Clock::now() >= *options.deadline) stall_watch_->markStalled();
  return name;
}

}  // namespace corvella
