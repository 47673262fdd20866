#include "main_flutter_window.h"

#include <flutter_linux/flutter_linux.h>
#include <zebra_printer_plugin/zebra_printer_plugin.h>

#include "flutter/generated_plugin_registrant.h"

struct _MainFlutterWindow {
  GtkApplicationWindow parent_instance;
  // The user interface's entrypoint arguments, until the window is built.
  gchar** dart_entrypoint_arguments;
};

G_DEFINE_TYPE(MainFlutterWindow, main_flutter_window, GTK_TYPE_APPLICATION_WINDOW)

enum { kPropDartEntrypointArguments = 1 };

static void main_flutter_window_set_property(GObject* object, guint id, const GValue* value,
                                             GParamSpec* spec) {
  MainFlutterWindow* self = CORVELLA_MAIN_FLUTTER_WINDOW(object);
  if (id != kPropDartEntrypointArguments) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    return;
  }
  g_strfreev(self->dart_entrypoint_arguments);
  self->dart_entrypoint_arguments = static_cast<gchar**>(g_value_dup_boxed(value));
}

// The window is built from its description: the engine's view becomes its
// content and the plug-ins are registered.
static void main_flutter_window_constructed(GObject* object) {
  G_OBJECT_CLASS(main_flutter_window_parent_class)->constructed(object);
  MainFlutterWindow* self = CORVELLA_MAIN_FLUTTER_WINDOW(object);
  GtkWindow* window = GTK_WINDOW(self);

  g_autoptr(FlDartProject) project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(project, self->dart_entrypoint_arguments);
  g_clear_pointer(&self->dart_entrypoint_arguments, g_strfreev);
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

static void main_flutter_window_finalize(GObject* object) {
  g_strfreev(CORVELLA_MAIN_FLUTTER_WINDOW(object)->dart_entrypoint_arguments);
  G_OBJECT_CLASS(main_flutter_window_parent_class)->finalize(object);
}

static void main_flutter_window_class_init(MainFlutterWindowClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = main_flutter_window_set_property;
  object_class->constructed = main_flutter_window_constructed;
  object_class->finalize = main_flutter_window_finalize;
  g_object_class_install_property(
      object_class, kPropDartEntrypointArguments,
      g_param_spec_boxed("dart-entrypoint-arguments", "Dart entrypoint arguments",
                         "The arguments handed to the user interface", G_TYPE_STRV,
                         static_cast<GParamFlags>(G_PARAM_WRITABLE | G_PARAM_CONSTRUCT_ONLY |
                                                  G_PARAM_STATIC_STRINGS)));
  gtk_widget_class_set_template_from_resource(GTK_WIDGET_CLASS(klass),
                                              "/application/main_window.ui");
}

static void main_flutter_window_init(MainFlutterWindow* self) {
  gtk_widget_init_template(GTK_WIDGET(self));
}

MainFlutterWindow* main_flutter_window_new(GtkApplication* application,
                                           gchar** dart_entrypoint_arguments) {
  g_return_val_if_fail(GTK_IS_APPLICATION(application), nullptr);
  return CORVELLA_MAIN_FLUTTER_WINDOW(g_object_new(main_flutter_window_get_type(), "application",
                                                   application, "dart-entrypoint-arguments",
                                                   dart_entrypoint_arguments, nullptr));
}
