#pragma once

#include <string>

namespace corvella {

// The CUPS command-line tools the plug-in runs, by full path. Production uses
// the defaults; tests may hand the print-system code other programs.
struct PrintTools {
  std::string lpstat = "/usr/bin/lpstat";
  std::string lp = "/usr/bin/lp";
  std::string lpr = "/usr/bin/lpr";
};

}  // namespace corvella
