#ifndef FLUTTER_LINUX_FL_PLUGIN_REGISTRY_H_
#define FLUTTER_LINUX_FL_PLUGIN_REGISTRY_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>

#include "fl_plugin_registrar.h"

G_BEGIN_DECLS

G_DECLARE_INTERFACE(FlPluginRegistry, fl_plugin_registry, FL, PLUGIN_REGISTRY, GObject)

struct _FlPluginRegistryInterface {
  GTypeInterface g_iface;
  FlPluginRegistrar* (*get_registrar_for_plugin)(FlPluginRegistry* registry, const gchar* name);
};

// Returns: (transfer full): the registrar for the plug-in named @name.
FlPluginRegistrar* fl_plugin_registry_get_registrar_for_plugin(FlPluginRegistry* registry,
                                                               const gchar* name);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_PLUGIN_REGISTRY_H_
