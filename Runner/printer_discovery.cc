#include "Runner/printer_discovery.h"

#include "Runner/cups_destinations.h"
#include "Runner/lpstat_output.h"
#include "Runner/process_runner.h"

namespace corvella {

PrinterDiscovery::PrinterDiscovery(PrintTools tools, PlatformList platformList)
    : tools_(std::move(tools)),
      platformList_(platformList ? std::move(platformList) : PlatformList(cupsDestinationNames)) {}

std::vector<std::string> PrinterDiscovery::getPrinterNames() const {
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-a"})) {
    std::vector<std::string> names = printerNamesFromLpstatA(*output);
    if (!names.empty()) return names;
  }
  return unique(platformList_());
}

std::optional<std::string> PrinterDiscovery::getDefaultPrinterName() const {
  if (std::optional<std::string> output = runShellOut(tools_.lpstat, {"-d"})) {
    if (std::optional<std::string> name = defaultPrinterFromLpstatD(*output)) return name;
  }
  std::vector<std::string> names = getPrinterNames();
  if (names.empty()) return std::nullopt;
  return names.front();
}

}  // namespace corvella
