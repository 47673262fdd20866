#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "process/deadline.h"

namespace corvella {

// The platform's own list of printer names: the CUPS destinations that the
// desktop's print dialogs show (libcups cupsGetDests2 on the default server,
// which honours CUPS_SERVER), names only, in libcups' order, without
// instances. Empty when the scheduler cannot be reached, or does not answer
// by `deadline` (the list is read over a connection of its own, with that
// time limit on connecting and on every read).
std::vector<std::string> CupsDestinationNames(Deadline deadline = std::nullopt);

}  // namespace corvella
