#pragma once

#include <flutter_linux/flutter_linux.h>

#include "cups/print_tools.h"

namespace corvella {

inline constexpr const char* kZebraPrinterChannel = "zebra_printer_channel";

// As zebra_printer_plugin_register_with_registrar, running `tools` instead of
// the CUPS tools at their usual paths (tests hand other programs).
void RegisterZebraPrinterPlugin(FlPluginRegistrar* registrar, PrintTools tools);

}  // namespace corvella
