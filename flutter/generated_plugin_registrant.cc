// clang-format off

// The engine's tool writes this file for the application's plug-ins and
// rewrites it on every build of an app project. This copy holds the
// application's twelve plug-in components in their fixed order. None of them
// is built for this platform, so each registration entry is declared weak: a
// build that links a component in reaches its entry, every other build sees
// a null address, and the registrar of that row is requested and released
// with nothing registered.

#include "generated_plugin_registrant.h"

extern "C" {
void audioplayers_darwin_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void connectivity_plus_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void desktop_webview_window_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void file_picker_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void flutter_lite_camera_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void mobile_scanner_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void open_file_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void path_provider_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void record_mac_os_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void shared_preferences_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
void sqflite_plugin_register_with_registrar(FlPluginRegistrar* registrar) __attribute__((weak));
}

void fl_register_plugins(FlPluginRegistry* registry) {
  struct Row {
    const char* key;
    void (*register_with_registrar)(FlPluginRegistrar* registrar);
  };
  const Row rows[] = {
      {"AudioplayersDarwinPlugin", audioplayers_darwin_plugin_register_with_registrar},
      {"ConnectivityPlusPlugin", connectivity_plus_plugin_register_with_registrar},
      {"DesktopWebviewWindowPlugin", desktop_webview_window_plugin_register_with_registrar},
      {"FilePickerPlugin", file_picker_plugin_register_with_registrar},
      {"FlutterLiteCameraPlugin", flutter_lite_camera_plugin_register_with_registrar},
      {"MobileScannerPlugin", mobile_scanner_plugin_register_with_registrar},
      {"OpenFilePlugin", open_file_plugin_register_with_registrar},
      {"PathProviderPlugin", path_provider_plugin_register_with_registrar},
      {"RecordMacOsPlugin", record_mac_os_plugin_register_with_registrar},
      {"SharedPreferencesPlugin", shared_preferences_plugin_register_with_registrar},
      {"SqflitePlugin", sqflite_plugin_register_with_registrar},
      // Requested, and nothing is registered with it.
      {"Sqlite3FlutterLibsPlugin", nullptr},
  };
  for (const Row& row : rows) {
    g_autoptr(FlPluginRegistrar) registrar =
        fl_plugin_registry_get_registrar_for_plugin(registry, row.key);
    if (row.register_with_registrar != nullptr) row.register_with_registrar(registrar);
  }
}
