// The application's generated plug-in list: its order and keys are fixed.

#include "Runner/generated_plugin_registrant.h"

namespace {

struct PluginRow {
  const char* key;
  void (*registerWithRegistrar)(FlPluginRegistrar* registrar);
};

}  // namespace

void RegisterGeneratedPlugins(FlPluginRegistry* registry) {
  g_return_if_fail(FL_IS_PLUGIN_REGISTRY(registry));
  const PluginRow rows[] = {
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
  for (const PluginRow& row : rows) {
    g_autoptr(FlPluginRegistrar) registrar =
        fl_plugin_registry_get_registrar_for_plugin(registry, row.key);
    if (row.registerWithRegistrar != nullptr) row.registerWithRegistrar(registrar);
  }
}
