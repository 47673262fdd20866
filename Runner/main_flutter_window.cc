#include "Runner/main_flutter_window.h"

#include <memory>

#include "Runner/generated_plugin_registrant.h"
#include "Runner/zebra_printer_plugin.h"
#include "engine/class_registry.h"
#include "engine/view_controller.h"

namespace corvella {

namespace {

[[maybe_unused]] const bool kRegistered =
    FlutterClassRegistry::shared().addWindowClass<MainFlutterWindow>("MainFlutterWindow");

}  // namespace

MainFlutterWindow::MainFlutterWindow(BaseObjectType* cobject,
                                     const Glib::RefPtr<Gtk::Builder>& builder)
    : HostWindow(cobject, builder) {}

void MainFlutterWindow::awakeFromNib() {
  auto flutterViewController = std::make_unique<FlutterViewController>();
  FlutterViewController* viewController = flutterViewController.get();
  const WindowFrame windowFrame = frame();
  setContentViewController(std::move(flutterViewController));
  setFrame(windowFrame, true);

  RegisterGeneratedPlugins(viewController);
  ZebraPrinterPlugin::registerWithRegistrar(
      viewController->registrarForPlugin("ZebraPrinterPlugin").get());

  HostWindow::awakeFromNib();
}

}  // namespace corvella
