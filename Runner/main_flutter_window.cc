#include "main_flutter_window.h"

#include <flutter_linux/flutter_linux.h>
#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include "flutter/generated_plugin_registrant.h"

struct _MainFlutterWindow {
  GtkApplicationWindow parent_instance;
};

G_DEFINE_TYPE(MainFlutterWindow, main_flutter_window, GTK_TYPE_APPLICATION_WINDOW)

static void main_flutter_window_class_init(MainFlutterWindowClass* klass) {
  gtk_widget_class_set_template_from_resource(GTK_WIDGET_CLASS(klass),
                                              "/application/main_window.ui");
}

static void main_flutter_window_init(MainFlutterWindow* self) {
  gtk_widget_init_template(GTK_WIDGET(self));
}

// Once the window is built and belongs to its application: the engine's view
// becomes its content and the plug-ins are registered (the printer plug-in
// finds the application through the view's window).
static void main_flutter_window_add_view(MainFlutterWindow* self,
                                         gchar** dart_entrypoint_arguments) {
  GtkWindow* window = GTK_WINDOW(self);
  g_autoptr(FlDartProject) project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(project, dart_entrypoint_arguments);
  FlView* view = fl_view_new(project);

  // The size the description gave, kept whatever size the view asks for.
  // Only the size: a window that has no position yet is placed by the
  // window manager, not forced to one.
  gint width = 0;
  gint height = 0;
  gtk_window_get_size(window, &width, &height);
  gtk_widget_show(GTK_WIDGET(view));
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  gtk_window_resize(window, width, height);

  FlPluginRegistry* registry = FL_PLUGIN_REGISTRY(view);
  fl_register_plugins(registry);
  g_autoptr(FlPluginRegistrar) registrar =
      fl_plugin_registry_get_registrar_for_plugin(registry, "ZebraPrinterPlugin");
  zebra_printer_plugin_register_with_registrar(registrar);
}

MainFlutterWindow* main_flutter_window_new(GtkApplication* application,
                                           gchar** dart_entrypoint_arguments) {
  g_return_val_if_fail(GTK_IS_APPLICATION(application), nullptr);
  MainFlutterWindow* self = CORVELLA_MAIN_FLUTTER_WINDOW(
      g_object_new(main_flutter_window_get_type(), "application", application, nullptr));
  main_flutter_window_add_view(self, dart_entrypoint_arguments);
  return self;
}
