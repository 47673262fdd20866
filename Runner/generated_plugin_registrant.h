#pragma once

#include "engine/plugin_registrar.h"

// Registration entries of the application's plug-in components. None of
// them exists on this platform; each is declared weak, so that a build that
// links a component in reaches its entry and every other build sees a null
// address and skips the row.
void AudioplayersDarwinPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void ConnectivityPlusPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void DesktopWebviewWindowPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void FilePickerPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar) __attribute__((weak));
void FlutterLiteCameraPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void MobileScannerPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void OpenFilePluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar) __attribute__((weak));
void PathProviderPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void RecordMacOsPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
void SharedPreferencesPluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar)
    __attribute__((weak));
// The component's class-level registerWithRegistrar message.
void SqflitePluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar) __attribute__((weak));

namespace corvella {

// Hands each plug-in component of the application's generated list the
// registrar of its own key, in the list's fixed order. Called once, from the
// main window's awakeFromNib, on the main thread; the printer plug-in is
// registered after it returns.
void RegisterGeneratedPlugins(FlutterPluginRegistry* registry);

}  // namespace corvella
