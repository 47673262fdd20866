// FlMethodChannel: method calls over a binary messenger with a method codec.
// The messenger holds a reference to the channel while it is the channel's
// handler, so a channel whose handler is set stays alive as long as the
// messenger does, as with the app engine.

#include <flutter_linux/flutter_linux.h>

#include "engine_stand_in/fl_method_channel_private.h"
#include "engine_stand_in/fl_standard_codec_private.h"

struct _FlMethodChannel {
  GObject parent_instance;
  // Weak: the messenger owns the channel, not the other way round.
  FlBinaryMessenger* messenger;
  gchar* name;
  FlMethodCodec* codec;
  FlMethodChannelMethodCallHandler handler;
  gpointer handler_data;
  GDestroyNotify handler_destroy;
};

G_DEFINE_TYPE(FlMethodChannel, fl_method_channel, G_TYPE_OBJECT)

namespace {

void ClearHandler(FlMethodChannel* self) {
  GDestroyNotify destroy = self->handler_destroy;
  gpointer data = self->handler_data;
  self->handler = nullptr;
  self->handler_data = nullptr;
  self->handler_destroy = nullptr;
  if (destroy != nullptr) destroy(data);
}

void MessageReceived(FlBinaryMessenger* messenger, const gchar* channel_name, GBytes* message,
                     FlBinaryMessengerResponseHandle* response_handle, gpointer user_data) {
  FlMethodChannel* self = FL_METHOD_CHANNEL(user_data);
  g_autofree gchar* method = nullptr;
  g_autoptr(FlValue) args = nullptr;
  g_autoptr(GError) error = nullptr;
  if (!fl_method_codec_decode_method_call(self->codec, message, &method, &args, &error)) {
    g_warning("Failed to decode a method call on channel %s: %s", channel_name, error->message);
    fl_binary_messenger_send_response(messenger, response_handle, nullptr, nullptr);
    return;
  }
  if (self->handler == nullptr) {
    fl_binary_messenger_send_response(messenger, response_handle, nullptr, nullptr);
    return;
  }
  g_autoptr(FlMethodCall) call = fl_method_call_new(method, args, self, response_handle);
  self->handler(self, call, self->handler_data);
}

void MessengerGone(gpointer user_data) { g_object_unref(FL_METHOD_CHANNEL(user_data)); }

}  // namespace

static void fl_method_channel_dispose(GObject* object) {
  FlMethodChannel* self = FL_METHOD_CHANNEL(object);
  if (self->messenger != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(self->messenger),
                                 reinterpret_cast<gpointer*>(&self->messenger));
    self->messenger = nullptr;
  }
  ClearHandler(self);
  g_clear_object(&self->codec);
  G_OBJECT_CLASS(fl_method_channel_parent_class)->dispose(object);
}

static void fl_method_channel_finalize(GObject* object) {
  g_clear_pointer(&FL_METHOD_CHANNEL(object)->name, g_free);
  G_OBJECT_CLASS(fl_method_channel_parent_class)->finalize(object);
}

static void fl_method_channel_class_init(FlMethodChannelClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_method_channel_dispose;
  G_OBJECT_CLASS(klass)->finalize = fl_method_channel_finalize;
}

static void fl_method_channel_init(FlMethodChannel*) {}

FlMethodChannel* fl_method_channel_new(FlBinaryMessenger* messenger, const gchar* name,
                                       FlMethodCodec* codec) {
  g_return_val_if_fail(FL_IS_BINARY_MESSENGER(messenger), nullptr);
  g_return_val_if_fail(name != nullptr, nullptr);
  g_return_val_if_fail(FL_IS_METHOD_CODEC(codec), nullptr);
  FlMethodChannel* self = FL_METHOD_CHANNEL(g_object_new(fl_method_channel_get_type(), nullptr));
  self->messenger = messenger;
  g_object_add_weak_pointer(G_OBJECT(messenger), reinterpret_cast<gpointer*>(&self->messenger));
  self->name = g_strdup(name);
  self->codec = FL_METHOD_CODEC(g_object_ref(codec));
  fl_binary_messenger_set_message_handler_on_channel(messenger, name, MessageReceived,
                                                     g_object_ref(self), MessengerGone);
  return self;
}

void fl_method_channel_set_method_call_handler(FlMethodChannel* self,
                                               FlMethodChannelMethodCallHandler handler,
                                               gpointer user_data, GDestroyNotify destroy_notify) {
  g_return_if_fail(FL_IS_METHOD_CHANNEL(self));
  ClearHandler(self);
  self->handler = handler;
  self->handler_data = user_data;
  self->handler_destroy = destroy_notify;
}

const gchar* fl_method_channel_get_name(FlMethodChannel* self) {
  g_return_val_if_fail(FL_IS_METHOD_CHANNEL(self), nullptr);
  return self->name;
}

gboolean fl_method_channel_respond(FlMethodChannel* self,
                                   FlBinaryMessengerResponseHandle* response_handle,
                                   FlMethodResponse* response, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CHANNEL(self), FALSE);
  if (self->messenger == nullptr) {
    g_set_error(error, FL_BINARY_MESSENGER_ERROR, FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED,
                "The messenger of channel %s is gone", self->name);
    return FALSE;
  }
  g_autoptr(GBytes) message = fl_method_codec_encode_response(self->codec, response, error);
  if (message == nullptr) return FALSE;
  return fl_binary_messenger_send_response(self->messenger, response_handle, message, error);
}

namespace {

void InvokeAnswered(GObject* object, GAsyncResult* result, gpointer user_data) {
  g_autoptr(GTask) task = G_TASK(user_data);
  GError* error = nullptr;
  GBytes* reply =
      fl_binary_messenger_send_on_channel_finish(FL_BINARY_MESSENGER(object), result, &error);
  if (reply == nullptr) {
    g_task_return_error(task, error);
    return;
  }
  g_task_return_pointer(task, reply, reinterpret_cast<GDestroyNotify>(g_bytes_unref));
}

}  // namespace

void fl_method_channel_invoke_method(FlMethodChannel* self, const gchar* method, FlValue* args,
                                     GCancellable* cancellable, GAsyncReadyCallback callback,
                                     gpointer user_data) {
  g_return_if_fail(FL_IS_METHOD_CHANNEL(self));
  g_return_if_fail(method != nullptr);
  GTask* task = g_task_new(self, cancellable, callback, user_data);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) message = fl_method_codec_encode_method_call(self->codec, method, args, &error);
  if (message == nullptr || self->messenger == nullptr) {
    if (error == nullptr) {
      error = g_error_new(G_IO_ERROR, G_IO_ERROR_CLOSED, "The messenger is gone");
    }
    g_task_return_error(task, static_cast<GError*>(g_steal_pointer(&error)));
    g_object_unref(task);
    return;
  }
  fl_binary_messenger_send_on_channel(self->messenger, self->name, message, cancellable,
                                      InvokeAnswered, task);
}

FlMethodResponse* fl_method_channel_invoke_method_finish(FlMethodChannel* self,
                                                         GAsyncResult* result, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CHANNEL(self), nullptr);
  g_return_val_if_fail(g_task_is_valid(result, self), nullptr);
  g_autoptr(GBytes) reply = static_cast<GBytes*>(g_task_propagate_pointer(G_TASK(result), error));
  if (reply == nullptr) return nullptr;
  return fl_method_codec_decode_response(self->codec, reply, error);
}
