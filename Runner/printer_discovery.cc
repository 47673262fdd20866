#include "printer_discovery.h"

#include "cups_destinations.h"
#include "lpstat_output.h"
#include "process_runner.h"

namespace corvella {

PrinterDiscovery::PrinterDiscovery(PrintTools tools, PlatformList platformList)
    : tools_(std::move(tools)),
      platformList_(platformList ? std::move(platformList) : PlatformList(CupsDestinationNames)) {}

namespace {

PrinterDiscovery::Deadline QueryDeadline() {
  return std::chrono::steady_clock::now() + PrinterDiscovery::kQueryTimeLimit;
}

}  // namespace

std::vector<std::string> PrinterDiscovery::getPrinterNames() const {
  return printerNamesBy(QueryDeadline());
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
  const Deadline deadline = QueryDeadline();
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-d"}, deadline)) {
    if (std::optional<std::string> name = DefaultPrinterFromLpstatD(*output)) return name;
  }
  std::vector<std::string> names = printerNamesBy(deadline);
  if (names.empty()) return std::nullopt;
  return names.front();
}

}  // namespace corvella
