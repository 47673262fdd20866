#pragma once

#include <optional>
#include <string_view>

namespace corvella::testing {

// What the simulated label printer reports of itself when asked for its host
// status (~HS), as a real one reports its paper-out and head-up flags.
struct PrinterCondition {
  bool out_of_labels = false;
  bool head_open = false;
};

// "ready", or "out-of-labels", "head-open" or both, comma-separated, in any
// order; nothing for any other text.
inline std::optional<PrinterCondition> ParsePrinterCondition(std::string_view text) {
  if (text == "ready") return PrinterCondition{};
  PrinterCondition condition;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view word = text.substr(0, comma);
    if (word == "out-of-labels") {
      condition.out_of_labels = true;
    } else if (word == "head-open") {
      condition.head_open = true;
    } else {
      return std::nullopt;
    }
    if (comma == std::string_view::npos) return condition;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace corvella::testing
