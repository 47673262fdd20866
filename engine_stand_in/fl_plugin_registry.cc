// The plug-in registry and registrar interfaces, and the registrar that the
// engine hands out: one per request, naming the engine's messenger and view.

#include <flutter_linux/flutter_linux.h>

#include "engine_stand_in/fl_engine_private.h"

G_DEFINE_INTERFACE(FlPluginRegistry, fl_plugin_registry, G_TYPE_OBJECT)

static void fl_plugin_registry_default_init(FlPluginRegistryInterface*) {}

FlPluginRegistrar* fl_plugin_registry_get_registrar_for_plugin(FlPluginRegistry* self,
                                                               const gchar* name) {
  g_return_val_if_fail(FL_IS_PLUGIN_REGISTRY(self), nullptr);
  g_return_val_if_fail(name != nullptr, nullptr);
  return FL_PLUGIN_REGISTRY_GET_IFACE(self)->get_registrar_for_plugin(self, name);
}

G_DEFINE_INTERFACE(FlPluginRegistrar, fl_plugin_registrar, G_TYPE_OBJECT)

static void fl_plugin_registrar_default_init(FlPluginRegistrarInterface*) {}

FlBinaryMessenger* fl_plugin_registrar_get_messenger(FlPluginRegistrar* self) {
  g_return_val_if_fail(FL_IS_PLUGIN_REGISTRAR(self), nullptr);
  return FL_PLUGIN_REGISTRAR_GET_IFACE(self)->get_messenger(self);
}

FlView* fl_plugin_registrar_get_view(FlPluginRegistrar* self) {
  g_return_val_if_fail(FL_IS_PLUGIN_REGISTRAR(self), nullptr);
  return FL_PLUGIN_REGISTRAR_GET_IFACE(self)->get_view(self);
}

G_DECLARE_FINAL_TYPE(FlEngineRegistrar, fl_engine_registrar, FL, ENGINE_REGISTRAR, GObject)

struct _FlEngineRegistrar {
  GObject parent_instance;
  // Both weak: a plug-in may keep its registrar for good, and the engine
  // holds the plug-in (through its channel), so a strong reference here
  // would keep the engine alive forever.
  FlEngine* engine;
  FlView* view;
};

static void fl_engine_registrar_iface_init(FlPluginRegistrarInterface* iface);

G_DEFINE_TYPE_WITH_CODE(FlEngineRegistrar, fl_engine_registrar, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(fl_plugin_registrar_get_type(),
                                              fl_engine_registrar_iface_init))

static FlBinaryMessenger* fl_engine_registrar_get_messenger(FlPluginRegistrar* registrar) {
  FlEngine* engine = FL_ENGINE_REGISTRAR(registrar)->engine;
  return engine != nullptr ? fl_engine_get_binary_messenger(engine) : nullptr;
}

static FlView* fl_engine_registrar_get_view(FlPluginRegistrar* registrar) {
  return FL_ENGINE_REGISTRAR(registrar)->view;
}

static void fl_engine_registrar_iface_init(FlPluginRegistrarInterface* iface) {
  iface->get_messenger = fl_engine_registrar_get_messenger;
  iface->get_view = fl_engine_registrar_get_view;
}

static void fl_engine_registrar_dispose(GObject* object) {
  FlEngineRegistrar* self = FL_ENGINE_REGISTRAR(object);
  if (self->view != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(self->view), reinterpret_cast<gpointer*>(&self->view));
    self->view = nullptr;
  }
  if (self->engine != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(self->engine),
                                 reinterpret_cast<gpointer*>(&self->engine));
    self->engine = nullptr;
  }
  G_OBJECT_CLASS(fl_engine_registrar_parent_class)->dispose(object);
}

static void fl_engine_registrar_class_init(FlEngineRegistrarClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_engine_registrar_dispose;
}

static void fl_engine_registrar_init(FlEngineRegistrar*) {}

FlPluginRegistrar* fl_engine_registrar_new(FlEngine* engine, FlView* view) {
  FlEngineRegistrar* self =
      FL_ENGINE_REGISTRAR(g_object_new(fl_engine_registrar_get_type(), nullptr));
  self->engine = engine;
  g_object_add_weak_pointer(G_OBJECT(engine), reinterpret_cast<gpointer*>(&self->engine));
  self->view = view;
  if (view != nullptr) {
    g_object_add_weak_pointer(G_OBJECT(view), reinterpret_cast<gpointer*>(&self->view));
  }
  return FL_PLUGIN_REGISTRAR(self);
}
