#include "include/probe_plugin/probe_plugin.h"

static void probe_plugin_handle_call(FlMethodChannel*, FlMethodCall* call, gpointer) {
  g_autoptr(FlValue) answer = fl_value_new_string("probe_plugin");
  fl_method_call_respond_success(call, answer, nullptr);
}

void probe_plugin_register_with_registrar(FlPluginRegistrar* registrar) {
  g_printerr("probe_plugin: registered\n");
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  // Kept for the process, as a plug-in keeps its channel.
  FlMethodChannel* channel = fl_method_channel_new(fl_plugin_registrar_get_messenger(registrar),
                                                   "zebra_printer_channel", FL_METHOD_CODEC(codec));
  fl_method_channel_set_method_call_handler(channel, probe_plugin_handle_call, nullptr, nullptr);
}
