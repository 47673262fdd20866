#include "Runner/cups_destinations.h"

#include <cups/cups.h>

namespace corvella {

std::vector<std::string> cupsDestinationNames() {
  cups_dest_t* dests = nullptr;
  int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    if (dests[i].instance != nullptr || dests[i].name == nullptr) continue;
    names.emplace_back(dests[i].name);
  }
  cupsFreeDests(count, dests);
  return names;
}

}  // namespace corvella
