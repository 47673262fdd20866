#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella {

// Readers of what `lpstat` prints on standard output. Pure functions of the
// text; every split works on user-perceived characters.
class LpstatOutput {
 public:
  // The printer names offered by `lpstat -a`: the first word of every line,
  // in order, trimmed and made distinct by `unique`. A line that begins with
  // a tab continues the entry above it (lpstat prints the reason a queue
  // rejects jobs there) and offers no name.
  static std::vector<std::string> printerNames(std::string_view output);

  // The default destination named by `lpstat -d`: the trimmed text after
  // the last colon. An answer without a colon, with nothing after its last
  // colon, or that is an lpstat diagnostic (it begins with "lpstat:") names
  // none: such answers are "no system default destination" in some
  // language, or an error about LPDEST or PRINTER, never a printer.
  static std::optional<std::string> defaultPrinter(std::string_view output);

  // Trims every text, drops the empty ones and all but the first of names
  // that are equal as Unicode text (canonically equivalent, case counts).
  // The result keeps the trimmed forms in order of first appearance.
  static std::vector<std::string> unique(const std::vector<std::string_view>& names);
  static std::vector<std::string> unique(const std::vector<std::string>& names);
};

}  // namespace corvella
