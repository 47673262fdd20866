#pragma once

#include <string>
#include <vector>

namespace corvella {

// The platform's own list of printer names: the CUPS destinations that the
// desktop's print dialogs show (libcups cupsGetDests2 on the default server,
// which honours CUPS_SERVER), names only, in libcups' order, without
// instances. Empty when the scheduler cannot be reached.
std::vector<std::string> cupsDestinationNames();

}  // namespace corvella
