#ifndef FLUTTER_LINUX_FL_PLUGIN_REGISTRAR_H_
#define FLUTTER_LINUX_FL_PLUGIN_REGISTRAR_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>

#include "fl_binary_messenger.h"
#include "fl_view.h"

G_BEGIN_DECLS

G_DECLARE_INTERFACE(FlPluginRegistrar, fl_plugin_registrar, FL, PLUGIN_REGISTRAR, GObject)

struct _FlPluginRegistrarInterface {
  GTypeInterface parent_iface;
  FlBinaryMessenger* (*get_messenger)(FlPluginRegistrar* registrar);
  FlView* (*get_view)(FlPluginRegistrar* registrar);
};

// What a plug-in registers its channels on.
FlBinaryMessenger* fl_plugin_registrar_get_messenger(FlPluginRegistrar* registrar);
// Returns: (allow-none): the view, or NULL for a headless engine.
FlView* fl_plugin_registrar_get_view(FlPluginRegistrar* registrar);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_PLUGIN_REGISTRAR_H_
