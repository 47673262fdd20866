#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include <memory>
#include <new>

#include "channel/printer_channel.h"
#include "zebra_printer_plugin_private.h"

struct _ZebraPrinterPlugin {
  GObject parent_instance;
  // Made at registration, released in dispose; shared only with work items
  // that reach it weakly, on the main thread.
  std::shared_ptr<corvella::PrinterChannel> channel;
};

G_DEFINE_TYPE(ZebraPrinterPlugin, zebra_printer_plugin, G_TYPE_OBJECT)

static void zebra_printer_plugin_dispose(GObject* object) {
  ZEBRA_PRINTER_PLUGIN(object)->channel.reset();
  G_OBJECT_CLASS(zebra_printer_plugin_parent_class)->dispose(object);
}

static void zebra_printer_plugin_finalize(GObject* object) {
  ZEBRA_PRINTER_PLUGIN(object)->channel.~shared_ptr();
  G_OBJECT_CLASS(zebra_printer_plugin_parent_class)->finalize(object);
}

static void zebra_printer_plugin_class_init(ZebraPrinterPluginClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = zebra_printer_plugin_dispose;
  G_OBJECT_CLASS(klass)->finalize = zebra_printer_plugin_finalize;
}

static void zebra_printer_plugin_init(ZebraPrinterPlugin* self) {
  new (&self->channel) std::shared_ptr<corvella::PrinterChannel>();
}

static void zebra_printer_plugin_handle_method_call(FlMethodChannel*, FlMethodCall* call,
                                                    gpointer user_data) {
  ZebraPrinterPlugin* self = ZEBRA_PRINTER_PLUGIN(user_data);
  if (self->channel) self->channel->handleMethodCall(call);
}

namespace corvella {

namespace {

// The application whose window holds the registrar's view; nullptr for a
// view outside an application's window (an engine run by a test).
GApplication* ApplicationOf(FlPluginRegistrar* registrar) {
  FlView* view = fl_plugin_registrar_get_view(registrar);
  if (view == nullptr) return nullptr;
  GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(view));
  if (!GTK_IS_WINDOW(toplevel)) return nullptr;
  GtkApplication* application = gtk_window_get_application(GTK_WINDOW(toplevel));
  return application != nullptr ? G_APPLICATION(application) : nullptr;
}

}  // namespace

void RegisterZebraPrinterPlugin(FlPluginRegistrar* registrar, PrintTools tools) {
  g_return_if_fail(FL_IS_PLUGIN_REGISTRAR(registrar));
  g_autoptr(ZebraPrinterPlugin) plugin =
      ZEBRA_PRINTER_PLUGIN(g_object_new(zebra_printer_plugin_get_type(), nullptr));
  plugin->channel = std::make_shared<PrinterChannel>(tools, ApplicationOf(registrar));
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(FlMethodChannel) channel = fl_method_channel_new(
      fl_plugin_registrar_get_messenger(registrar), kZebraPrinterChannel, FL_METHOD_CODEC(codec));
  // The channel keeps the plug-in from here on.
  fl_method_channel_set_method_call_handler(channel, zebra_printer_plugin_handle_method_call,
                                            g_object_ref(plugin), g_object_unref);
}

}  // namespace corvella

void zebra_printer_plugin_register_with_registrar(FlPluginRegistrar* registrar) {
  corvella::RegisterZebraPrinterPlugin(registrar, corvella::PrintTools{});
}
