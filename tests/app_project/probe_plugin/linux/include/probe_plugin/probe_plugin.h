#ifndef PROBE_PLUGIN_H_
#define PROBE_PLUGIN_H_

#include <flutter_linux/flutter_linux.h>

G_BEGIN_DECLS

#ifdef FLUTTER_PLUGIN_IMPL
#define FLUTTER_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define FLUTTER_PLUGIN_EXPORT
#endif

// Logs "probe_plugin: registered", answers every call on
// "zebra_printer_channel" with the text "probe_plugin" (a plug-in that the
// host registers after it takes that channel back), and answers
// "applicationId" on "probe_channel" with the application's id.
FLUTTER_PLUGIN_EXPORT void probe_plugin_register_with_registrar(FlPluginRegistrar* registrar);

G_END_DECLS

#endif  // PROBE_PLUGIN_H_
