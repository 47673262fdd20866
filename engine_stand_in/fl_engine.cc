// FlEngine: the stand-in engine. It is the binary messenger (handlers by
// channel name, one response per message) and the plug-in registry, and it
// owns the UI link that connects its channels to a user interface in another
// process.

#include <flutter_linux/flutter_linux.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine_stand_in/fl_engine_private.h"
#include "engine_stand_in/main_thread_queue.h"
#include "engine_stand_in/ui_link.h"

namespace {

struct Handler {
  FlBinaryMessengerMessageHandler function = nullptr;
  gpointer data = nullptr;
  GDestroyNotify destroy = nullptr;
};

void DestroyHandler(Handler& handler) {
  if (handler.destroy != nullptr) handler.destroy(handler.data);
  handler = Handler{};
}

}  // namespace

// The response handle of one dispatched message.
G_DECLARE_FINAL_TYPE(FlEngineResponseHandle, fl_engine_response_handle, FL, ENGINE_RESPONSE_HANDLE,
                     FlBinaryMessengerResponseHandle)

struct _FlEngineResponseHandle {
  FlBinaryMessengerResponseHandle parent_instance;
  gint responded;
  GThread* main_thread;
  gchar* channel;
  StandInReply* reply;
};

G_DEFINE_TYPE(FlEngineResponseHandle, fl_engine_response_handle,
              fl_binary_messenger_response_handle_get_type())

namespace {

// Hands `response` to the reply on the main thread. Called once per handle.
// An answer given on another thread is a plug-in's fault, reported as such,
// and still delivered (from the main thread) so that nothing waits forever.
void DeliverReply(FlEngineResponseHandle* handle, GBytes* response) {
  StandInReply* reply = std::exchange(handle->reply, nullptr);
  g_autoptr(GBytes) bytes = response != nullptr ? g_bytes_ref(response) : g_bytes_new(nullptr, 0);
  if (g_thread_self() == handle->main_thread) {
    (*reply)(bytes);
    delete reply;
    return;
  }
  g_critical(
      "A message on channel %s answered off the main thread; channels are used on the "
      "main thread only",
      handle->channel);
  PostToMainThread([reply, held = g_bytes_ref(bytes)] {
    (*reply)(held);
    g_bytes_unref(held);
    delete reply;
  });
}

}  // namespace

static void fl_engine_response_handle_dispose(GObject* object) {
  FlEngineResponseHandle* self = FL_ENGINE_RESPONSE_HANDLE(object);
  if (g_atomic_int_compare_and_exchange(&self->responded, 0, 1)) {
    g_warning("Unresponded message on channel %s", self->channel);
    DeliverReply(self, nullptr);
  }
  G_OBJECT_CLASS(fl_engine_response_handle_parent_class)->dispose(object);
}

static void fl_engine_response_handle_finalize(GObject* object) {
  FlEngineResponseHandle* self = FL_ENGINE_RESPONSE_HANDLE(object);
  g_clear_pointer(&self->channel, g_free);
  delete self->reply;
  G_OBJECT_CLASS(fl_engine_response_handle_parent_class)->finalize(object);
}

static void fl_engine_response_handle_class_init(FlEngineResponseHandleClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_engine_response_handle_dispose;
  G_OBJECT_CLASS(klass)->finalize = fl_engine_response_handle_finalize;
}

static void fl_engine_response_handle_init(FlEngineResponseHandle*) {}

// The engine's C++ state, made in init and deleted in finalize.
struct EngineState {
  std::map<std::string, Handler> handlers;
  std::vector<std::string> requested_keys;
  // The link to a user interface in another process, if any. Work the link
  // posts holds it weakly.
  std::shared_ptr<UiLink> link;
};

struct _FlEngine {
  GObject parent_instance;
  FlDartProject* project;
  GThread* main_thread;
  // Weak.
  FlView* view;
  EngineState* state;
};

static void fl_engine_messenger_iface_init(FlBinaryMessengerInterface* iface);
static void fl_engine_registry_iface_init(FlPluginRegistryInterface* iface);

G_DEFINE_TYPE_WITH_CODE(FlEngine, fl_engine, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(fl_binary_messenger_get_type(),
                                              fl_engine_messenger_iface_init)
                            G_IMPLEMENT_INTERFACE(fl_plugin_registry_get_type(),
                                                  fl_engine_registry_iface_init))

static void set_message_handler_on_channel(FlBinaryMessenger* messenger, const gchar* channel,
                                           FlBinaryMessengerMessageHandler function,
                                           gpointer user_data, GDestroyNotify destroy_notify) {
  FlEngine* self = FL_ENGINE(messenger);
  // Taken out of the table before its data is destroyed: destroying it may
  // run code that looks at the table.
  Handler old;
  auto it = self->state->handlers.find(channel);
  if (it != self->state->handlers.end()) {
    old = it->second;
    self->state->handlers.erase(it);
  }
  if (function != nullptr) {
    self->state->handlers[channel] = Handler{function, user_data, destroy_notify};
  } else if (destroy_notify != nullptr) {
    destroy_notify(user_data);
  }
  DestroyHandler(old);
}

static gboolean send_response(FlBinaryMessenger*, FlBinaryMessengerResponseHandle* response_handle,
                              GBytes* response, GError** error) {
  g_return_val_if_fail(FL_IS_ENGINE_RESPONSE_HANDLE(response_handle), FALSE);
  FlEngineResponseHandle* handle = FL_ENGINE_RESPONSE_HANDLE(response_handle);
  if (!g_atomic_int_compare_and_exchange(&handle->responded, 0, 1)) {
    g_set_error(error, FL_BINARY_MESSENGER_ERROR, FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED,
                "Attempted to respond to a message that is already responded to");
    return FALSE;
  }
  DeliverReply(handle, response);
  return TRUE;
}

// The user interface listens on no channel for messages from the host: like
// a channel without a handler, it answers each with an empty reply.
static void send_on_channel(FlBinaryMessenger* messenger, const gchar*, GBytes*,
                            GCancellable* cancellable, GAsyncReadyCallback callback,
                            gpointer user_data) {
  g_autoptr(GTask) task = g_task_new(messenger, cancellable, callback, user_data);
  g_task_return_pointer(task, g_bytes_new(nullptr, 0),
                        reinterpret_cast<GDestroyNotify>(g_bytes_unref));
}

static GBytes* send_on_channel_finish(FlBinaryMessenger* messenger, GAsyncResult* result,
                                      GError** error) {
  g_return_val_if_fail(g_task_is_valid(result, messenger), nullptr);
  return static_cast<GBytes*>(g_task_propagate_pointer(G_TASK(result), error));
}

static void fl_engine_messenger_iface_init(FlBinaryMessengerInterface* iface) {
  iface->set_message_handler_on_channel = set_message_handler_on_channel;
  iface->send_response = send_response;
  iface->send_on_channel = send_on_channel;
  iface->send_on_channel_finish = send_on_channel_finish;
}

static FlPluginRegistrar* get_registrar_for_plugin(FlPluginRegistry* registry, const gchar* name) {
  FlEngine* self = FL_ENGINE(registry);
  self->state->requested_keys.emplace_back(name);
  return fl_engine_registrar_new(self, self->view);
}

static void fl_engine_registry_iface_init(FlPluginRegistryInterface* iface) {
  iface->get_registrar_for_plugin = get_registrar_for_plugin;
}

static void fl_engine_dispose(GObject* object) {
  FlEngine* self = FL_ENGINE(object);
  // A view closes its link first and keeps the engine until the link has
  // settled (fl_engine_close_ui_link), so nothing received is lost here.
  self->state->link.reset();
  // Handlers are destroyed outside the table, one at a time.
  while (!self->state->handlers.empty()) {
    Handler handler = self->state->handlers.begin()->second;
    self->state->handlers.erase(self->state->handlers.begin());
    DestroyHandler(handler);
  }
  fl_engine_set_view(self, nullptr);
  g_clear_object(&self->project);
  G_OBJECT_CLASS(fl_engine_parent_class)->dispose(object);
}

static void fl_engine_finalize(GObject* object) {
  FlEngine* self = FL_ENGINE(object);
  delete self->state;
  G_OBJECT_CLASS(fl_engine_parent_class)->finalize(object);
}

static void fl_engine_class_init(FlEngineClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_engine_dispose;
  G_OBJECT_CLASS(klass)->finalize = fl_engine_finalize;
}

static void fl_engine_init(FlEngine* self) {
  self->main_thread = g_thread_self();
  self->state = new EngineState;
}

FlEngine* fl_engine_new(FlDartProject* project) {
  g_return_val_if_fail(FL_IS_DART_PROJECT(project), nullptr);
  FlEngine* self = FL_ENGINE(g_object_new(fl_engine_get_type(), nullptr));
  self->project = FL_DART_PROJECT(g_object_ref(project));
  return self;
}

FlEngine* fl_engine_new_headless(FlDartProject* project) { return fl_engine_new(project); }

FlBinaryMessenger* fl_engine_get_binary_messenger(FlEngine* self) {
  g_return_val_if_fail(FL_IS_ENGINE(self), nullptr);
  return FL_BINARY_MESSENGER(self);
}

void fl_engine_set_view(FlEngine* self, FlView* view) {
  g_return_if_fail(FL_IS_ENGINE(self));
  if (self->view != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(self->view), reinterpret_cast<gpointer*>(&self->view));
  }
  self->view = view;
  if (view != nullptr) {
    g_object_add_weak_pointer(G_OBJECT(view), reinterpret_cast<gpointer*>(&self->view));
  }
}

void stand_in_engine_dispatch_message(FlEngine* self, const gchar* channel, GBytes* message,
                                      StandInReply reply) {
  g_return_if_fail(FL_IS_ENGINE(self));
  g_return_if_fail(channel != nullptr && message != nullptr && reply != nullptr);
  g_autoptr(FlEngineResponseHandle) handle =
      FL_ENGINE_RESPONSE_HANDLE(g_object_new(fl_engine_response_handle_get_type(), nullptr));
  handle->main_thread = self->main_thread;
  handle->channel = g_strdup(channel);
  handle->reply = new StandInReply(std::move(reply));
  auto it = self->state->handlers.find(channel);
  if (it == self->state->handlers.end()) {
    send_response(FL_BINARY_MESSENGER(self), FL_BINARY_MESSENGER_RESPONSE_HANDLE(handle), nullptr,
                  nullptr);
    return;
  }
  // A copy: the handler may replace itself while it runs.
  const Handler handler = it->second;
  handler.function(FL_BINARY_MESSENGER(self), channel, message,
                   FL_BINARY_MESSENGER_RESPONSE_HANDLE(handle), handler.data);
}

std::vector<std::string> stand_in_engine_get_requested_plugin_keys(FlEngine* self) {
  if (!FL_IS_ENGINE(self)) return {};
  return self->state->requested_keys;
}

void fl_engine_start_ui_link(FlEngine* self, std::function<void()> on_input_finished) {
  g_return_if_fail(FL_IS_ENGINE(self));
  if (self->state->link) return;
  // The link's dispatch reaches the engine through this pointer: the engine
  // owns the link, which dispatches only while both exist.
  self->state->link = UiLink::claimStandardStreams(
      [self](const std::string& channel, GBytes* message, StandInReply reply) {
        stand_in_engine_dispatch_message(self, channel.c_str(), message, std::move(reply));
      },
      std::move(on_input_finished));
}

void fl_engine_close_ui_link(FlEngine* self) {
  g_return_if_fail(FL_IS_ENGINE(self));
  if (!self->state->link) return;
  // Until the link has settled, the engine (and so every channel that still
  // owes an answer) stays, and the application keeps running its main loop
  // although its window is gone.
  g_object_ref(self);
  GApplication* application = g_application_get_default();
  if (application != nullptr) {
    g_object_ref(application);
    g_application_hold(application);
  }
  self->state->link->close([self, application] {
    if (application != nullptr) {
      g_application_release(application);
      g_object_unref(application);
    }
    g_object_unref(self);
  });
}
