#pragma once

#include <flutter_linux/flutter_linux.h>

G_BEGIN_DECLS

// Registration entries of the application's plug-in components. None of
// them exists on this platform; each is declared weak, so that a build that
// links a component in reaches its entry and every other build sees a null
// address and skips the row.
#define CORVELLA_PLUGIN_ENTRY(name) void name(FlPluginRegistrar* registrar) __attribute__((weak));
CORVELLA_PLUGIN_ENTRY(audioplayers_darwin_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(connectivity_plus_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(desktop_webview_window_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(file_picker_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(flutter_lite_camera_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(mobile_scanner_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(open_file_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(path_provider_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(record_mac_os_plugin_register_with_registrar)
CORVELLA_PLUGIN_ENTRY(shared_preferences_plugin_register_with_registrar)
// The component's class-level registerWithRegistrar message.
CORVELLA_PLUGIN_ENTRY(sqflite_plugin_register_with_registrar)
#undef CORVELLA_PLUGIN_ENTRY

G_END_DECLS

// Hands each plug-in component of the application's generated list a
// registrar of its own key, in the list's fixed order, releasing each at the
// end of its row. Called once, from the main window's awakeFromNib, on the
// main thread; the printer plug-in is registered after it returns.
void RegisterGeneratedPlugins(FlPluginRegistry* registry);
