// FlView: the widget where the engine would draw the user interface. Here it
// draws a placeholder; like the engine's view it asks for a natural size of
// its own and accepts any size down to a small minimum. It owns the engine,
// is the application's plug-in registry, and ties the UI link to its window:
// when the link's input ends the window is closed, and when the view goes
// (the window was closed) everything the link received is still answered
// and written before the application ends.

#include <flutter_linux/flutter_linux.h>

#include "engine_stand_in/fl_engine_private.h"

namespace {

constexpr int kNaturalWidth = 1024;
constexpr int kNaturalHeight = 768;
constexpr int kMinimumWidth = 320;
constexpr int kMinimumHeight = 240;

gboolean DrawPlaceholder(GtkWidget* area, cairo_t* cr, gpointer) {
  const int width = gtk_widget_get_allocated_width(area);
  const int height = gtk_widget_get_allocated_height(area);
  cairo_set_source_rgb(cr, 0.96, 0.96, 0.97);
  cairo_paint(cr);
  PangoLayout* layout = gtk_widget_create_pango_layout(area, "Corvella");
  PangoFontDescription* font = pango_font_description_from_string("Sans 24");
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  int text_width = 0;
  int text_height = 0;
  pango_layout_get_pixel_size(layout, &text_width, &text_height);
  cairo_set_source_rgb(cr, 0.25, 0.27, 0.32);
  cairo_move_to(cr, (width - text_width) / 2.0, (height - text_height) / 2.0);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  return TRUE;
}

}  // namespace

struct _FlView {
  GtkBox parent_instance;
  FlEngine* engine;
};

static void fl_view_registry_iface_init(FlPluginRegistryInterface* iface);

G_DEFINE_TYPE_WITH_CODE(FlView, fl_view, GTK_TYPE_BOX,
                        G_IMPLEMENT_INTERFACE(fl_plugin_registry_get_type(),
                                              fl_view_registry_iface_init))

static FlPluginRegistrar* fl_view_get_registrar_for_plugin(FlPluginRegistry* registry,
                                                           const gchar* name) {
  return fl_plugin_registry_get_registrar_for_plugin(FL_PLUGIN_REGISTRY(FL_VIEW(registry)->engine),
                                                     name);
}

static void fl_view_registry_iface_init(FlPluginRegistryInterface* iface) {
  iface->get_registrar_for_plugin = fl_view_get_registrar_for_plugin;
}

static void fl_view_get_preferred_width(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = kMinimumWidth;
  *natural = kNaturalWidth;
}

static void fl_view_get_preferred_height(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = kMinimumHeight;
  *natural = kNaturalHeight;
}

static void fl_view_dispose(GObject* object) {
  FlView* self = FL_VIEW(object);
  // The link keeps the engine for as long as it still owes replies.
  if (self->engine != nullptr) fl_engine_close_ui_link(self->engine);
  g_clear_object(&self->engine);
  G_OBJECT_CLASS(fl_view_parent_class)->dispose(object);
}

static void fl_view_class_init(FlViewClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_view_dispose;
  GtkWidgetClass* widget_class = GTK_WIDGET_CLASS(klass);
  widget_class->get_preferred_width = fl_view_get_preferred_width;
  widget_class->get_preferred_height = fl_view_get_preferred_height;
  gtk_widget_class_set_css_name(widget_class, "flutter-view");
}

static void fl_view_init(FlView* self) {
  GtkWidget* area = gtk_drawing_area_new();
  g_signal_connect(area, "draw", G_CALLBACK(DrawPlaceholder), nullptr);
  gtk_widget_show(area);
  gtk_box_pack_start(GTK_BOX(self), area, TRUE, TRUE, 0);
}

FlView* fl_view_new(FlDartProject* project) {
  g_return_val_if_fail(FL_IS_DART_PROJECT(project), nullptr);
  FlView* self = FL_VIEW(g_object_new(fl_view_get_type(), nullptr));
  self->engine = fl_engine_new(project);
  fl_engine_set_view(self->engine, self);
  fl_engine_start_ui_link(self->engine, [self] {
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(self));
    if (top == nullptr || !gtk_widget_is_toplevel(top) || !GTK_IS_WINDOW(top)) {
      g_warning("The UI link ended; the view is in no window to close");
      return;
    }
    gtk_window_close(GTK_WINDOW(top));
  });
  return self;
}

FlEngine* fl_view_get_engine(FlView* self) {
  g_return_val_if_fail(FL_IS_VIEW(self), nullptr);
  return self->engine;
}
