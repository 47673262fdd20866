#include "include/probe_plugin/probe_plugin.h"

#include <gtk/gtk.h>

// "zebra_printer_channel": every call is answered with the text "probe_plugin".
static void probe_plugin_take_call(FlMethodChannel*, FlMethodCall* call, gpointer) {
  g_autoptr(FlValue) answer = fl_value_new_string("probe_plugin");
  fl_method_call_respond_success(call, answer, nullptr);
}

// "probe_channel": "applicationId" is answered with the id of the
// application whose window shows the plug-in's view.
static void probe_plugin_report(FlMethodChannel*, FlMethodCall* call, gpointer user_data) {
  GtkWidget* window = gtk_widget_get_toplevel(GTK_WIDGET(user_data));
  GtkApplication* application =
      GTK_IS_WINDOW(window) ? gtk_window_get_application(GTK_WINDOW(window)) : nullptr;
  const gchar* id =
      application != nullptr ? g_application_get_application_id(G_APPLICATION(application)) : "";
  g_autoptr(FlValue) answer = fl_value_new_string(id != nullptr ? id : "");
  fl_method_call_respond_success(call, answer, nullptr);
}

void probe_plugin_register_with_registrar(FlPluginRegistrar* registrar) {
  g_printerr("probe_plugin: registered\n");
  FlBinaryMessenger* messenger = fl_plugin_registrar_get_messenger(registrar);
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  // Both channels are kept for the process, as a plug-in keeps its channels.
  FlMethodChannel* printer =
      fl_method_channel_new(messenger, "zebra_printer_channel", FL_METHOD_CODEC(codec));
  fl_method_channel_set_method_call_handler(printer, probe_plugin_take_call, nullptr, nullptr);
  FlMethodChannel* probe =
      fl_method_channel_new(messenger, "probe_channel", FL_METHOD_CODEC(codec));
  fl_method_channel_set_method_call_handler(probe, probe_plugin_report,
                                            fl_plugin_registrar_get_view(registrar), nullptr);
}
