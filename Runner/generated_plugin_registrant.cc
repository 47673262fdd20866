// The application's generated plug-in list: its order and keys are fixed.

#include "Runner/generated_plugin_registrant.h"

#include <memory>

namespace corvella {

namespace {

struct PluginRow {
  const char* key;
  void (*registerWithRegistrar)(FlutterPluginRegistrar* registrar);
};

}  // namespace

void RegisterGeneratedPlugins(FlutterPluginRegistry* registry) {
  const PluginRow rows[] = {
      {"AudioplayersDarwinPlugin", AudioplayersDarwinPluginRegisterWithRegistrar},
      {"ConnectivityPlusPlugin", ConnectivityPlusPluginRegisterWithRegistrar},
      {"DesktopWebviewWindowPlugin", DesktopWebviewWindowPluginRegisterWithRegistrar},
      {"FilePickerPlugin", FilePickerPluginRegisterWithRegistrar},
      {"FlutterLiteCameraPlugin", FlutterLiteCameraPluginRegisterWithRegistrar},
      {"MobileScannerPlugin", MobileScannerPluginRegisterWithRegistrar},
      {"OpenFilePlugin", OpenFilePluginRegisterWithRegistrar},
      {"PathProviderPlugin", PathProviderPluginRegisterWithRegistrar},
      {"RecordMacOsPlugin", RecordMacOsPluginRegisterWithRegistrar},
      {"SharedPreferencesPlugin", SharedPreferencesPluginRegisterWithRegistrar},
      {"SqflitePlugin", SqflitePluginRegisterWithRegistrar},
      // Requested, and nothing is registered with it.
      {"Sqlite3FlutterLibsPlugin", nullptr},
  };
  for (const PluginRow& row : rows) {
    std::shared_ptr<FlutterPluginRegistrar> registrar = registry->registrarForPlugin(row.key);
    if (row.registerWithRegistrar != nullptr) row.registerWithRegistrar(registrar.get());
  }
}

}  // namespace corvella
