#pragma once

#include <optional>
#include <string_view>

namespace corvella::testing {

// How the simulated label printer treats a connection.
enum class PrinterMode {
  kRecord,  // read every byte and keep them as one job
  kClose,   // accept, then close at once without reading
  kStall,   // accept and hold the connection open, never reading from it
  kDown,    // hold the port but do not listen: connecting is refused
};

// The command-line name of a mode: "record", "close", "stall" or "down".
inline const char* PrinterModeName(PrinterMode mode) {
  switch (mode) {
    case PrinterMode::kRecord:
      return "record";
    case PrinterMode::kClose:
      return "close";
    case PrinterMode::kStall:
      return "stall";
    case PrinterMode::kDown:
      return "down";
  }
  return "record";
}

inline std::optional<PrinterMode> ParsePrinterMode(std::string_view text) {
  for (PrinterMode mode :
       {PrinterMode::kRecord, PrinterMode::kClose, PrinterMode::kStall, PrinterMode::kDown}) {
    if (text == PrinterModeName(mode)) return mode;
  }
  return std::nullopt;
}

}  // namespace corvella::testing
