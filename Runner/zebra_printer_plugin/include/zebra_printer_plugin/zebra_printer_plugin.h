#pragma once

#include <flutter_linux/flutter_linux.h>

G_BEGIN_DECLS

// The printer plug-in: answers the calls of "zebra_printer_channel". It keeps
// one piece of state, the selected printer, which is read and written only on
// the main thread (every call and every answer happens there), so it needs no
// lock. Print-system failures reach the caller as plain values (an empty
// list, empty text, false, a printer state "unknown"); only argument and
// selection problems are errors.
G_DECLARE_FINAL_TYPE(ZebraPrinterPlugin, zebra_printer_plugin, ZEBRA, PRINTER_PLUGIN, GObject)

// Creates the channel on the registrar's messenger with the standard method
// codec and installs one plug-in instance as its call handler; the channel
// keeps the instance, and the messenger the channel, for the rest of the
// process. The plug-in takes part in the end of the application whose window
// holds the registrar's view.
void zebra_printer_plugin_register_with_registrar(FlPluginRegistrar* registrar);

G_END_DECLS
