#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cups/print_tools.h"
#include "process/child_process.h"
#include "process/deadline.h"

namespace corvella {

// Which printers the print system offers and which is its default, asked of
// `lpstat` on every call. Blocks the calling thread while lpstat runs, but
// never longer than kQueryTimeLimit for one query in all: a print system that
// stops answering (a hung scheduler, a stalled print server) makes the query
// give up, as if it had named nothing. Failures are ordinary results (an
// empty list, no default).
//
// The caller (the main thread) waits that long once per outage, not once per
// query: a query that runs out of time marks the print system as stalled, and
// until it answers again every query gives at once what a query that found
// nothing gives, without running anything. A check on a background thread
// asks lpstat again, one attempt after another, and clears the mark as soon
// as one attempt is answered in time.
class PrinterDiscovery {
 public:
  using PlatformList = std::function<std::vector<std::string>(Deadline deadline)>;

  static constexpr std::chrono::seconds kQueryTimeLimit{5};

  // `platform_list` is the fall-back when lpstat names no printer.
  explicit PrinterDiscovery(PrintTools tools = {}, PlatformList platform_list = nullptr);
  // Stops checking, as stopChecking().
  ~PrinterDiscovery();
  PrinterDiscovery(const PrinterDiscovery&) = delete;
  PrinterDiscovery& operator=(const PrinterDiscovery&) = delete;

  // Ends the background check, if one runs: its lpstat is killed and reaped
  // and its thread has ended when this returns; none starts again. Queries
  // still answer. For the end of the host.
  void stopChecking();

  // The queues that `lpstat -a` lists, in its order; when it lists none (or
  // cannot run), the platform list. Trimmed, non-empty, distinct.
  std::vector<std::string> getPrinterNames() const;

  // The default destination that `lpstat -d` names; when it names none, the
  // first of getPrinterNames; nothing when that is empty. Never empty text.
  std::optional<std::string> getDefaultPrinterName() const;

  // The outage mark, for other queries of the same print system: whether it
  // is marked as stalled now, and marking it (a query of theirs ran out of
  // its limit), which starts the check that clears it. Safe from any thread.
  bool stalled() const;
  void markStalled() const;

 private:
  class StallWatch;

  // The list: lpstat -a, else the platform list, run as `options` says.
  std::vector<std::string> printerNamesBy(const RunOptions& options) const;

  PrintTools tools_;
  PlatformList platform_list_;
  std::unique_ptr<StallWatch> stall_watch_;
};

}  // namespace corvella
