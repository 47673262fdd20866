// FlMethodCall: one decoded call and the means to answer it once.

#include <flutter_linux/flutter_linux.h>

#include "engine_stand_in/fl_method_channel_private.h"
#include "engine_stand_in/main_thread_queue.h"

struct _FlMethodCall {
  GObject parent_instance;
  gchar* name;
  FlValue* args;
  FlMethodChannel* channel;
  FlBinaryMessengerResponseHandle* response_handle;
  // Where the call was delivered: the main thread, the only one on which
  // channels may be used.
  GThread* main_thread;
};

G_DEFINE_TYPE(FlMethodCall, fl_method_call, G_TYPE_OBJECT)

static void fl_method_call_dispose(GObject* object) {
  FlMethodCall* self = FL_METHOD_CALL(object);
  // The handle answers a call that was never answered when it goes.
  g_clear_object(&self->response_handle);
  g_clear_object(&self->channel);
  G_OBJECT_CLASS(fl_method_call_parent_class)->dispose(object);
}

static void fl_method_call_finalize(GObject* object) {
  FlMethodCall* self = FL_METHOD_CALL(object);
  g_clear_pointer(&self->name, g_free);
  g_clear_pointer(&self->args, fl_value_unref);
  G_OBJECT_CLASS(fl_method_call_parent_class)->finalize(object);
}

static void fl_method_call_class_init(FlMethodCallClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_method_call_dispose;
  G_OBJECT_CLASS(klass)->finalize = fl_method_call_finalize;
}

static void fl_method_call_init(FlMethodCall*) {}

FlMethodCall* fl_method_call_new(const gchar* name, FlValue* args, FlMethodChannel* channel,
                                 FlBinaryMessengerResponseHandle* response_handle) {
  g_return_val_if_fail(name != nullptr && args != nullptr, nullptr);
  g_return_val_if_fail(FL_IS_METHOD_CHANNEL(channel), nullptr);
  g_return_val_if_fail(FL_IS_BINARY_MESSENGER_RESPONSE_HANDLE(response_handle), nullptr);
  FlMethodCall* self = FL_METHOD_CALL(g_object_new(fl_method_call_get_type(), nullptr));
  self->name = g_strdup(name);
  self->args = fl_value_ref(args);
  self->channel = FL_METHOD_CHANNEL(g_object_ref(channel));
  self->response_handle = FL_BINARY_MESSENGER_RESPONSE_HANDLE(g_object_ref(response_handle));
  self->main_thread = g_thread_self();
  return self;
}

const gchar* fl_method_call_get_name(FlMethodCall* self) {
  g_return_val_if_fail(FL_IS_METHOD_CALL(self), nullptr);
  return self->name;
}

FlValue* fl_method_call_get_args(FlMethodCall* self) {
  g_return_val_if_fail(FL_IS_METHOD_CALL(self), nullptr);
  return self->args;
}

gboolean fl_method_call_respond(FlMethodCall* self, FlMethodResponse* response, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CALL(self), FALSE);
  g_return_val_if_fail(FL_IS_METHOD_RESPONSE(response), FALSE);
  if (g_thread_self() != self->main_thread) {
    // Refused loudly, yet the answer still goes once, from the main thread,
    // so that the user interface is not left waiting.
    g_critical(
        "Method %s on channel %s answered off the main thread; channels are used on the "
        "main thread only",
        self->name, fl_method_channel_get_name(self->channel));
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_FAILED, "Answered off the main thread");
    PostToMainThread([call = FL_METHOD_CALL(g_object_ref(self)),
                      answer = FL_METHOD_RESPONSE(g_object_ref(response))] {
      g_autoptr(GError) late_error = nullptr;
      if (!fl_method_channel_respond(call->channel, call->response_handle, answer, &late_error)) {
        g_warning("Answer to %s dropped: %s", call->name, late_error->message);
      }
      g_object_unref(answer);
      g_object_unref(call);
    });
    return FALSE;
  }
  return fl_method_channel_respond(self->channel, self->response_handle, response, error);
}

gboolean fl_method_call_respond_success(FlMethodCall* self, FlValue* result, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CALL(self), FALSE);
  g_autoptr(FlMethodResponse) response = FL_METHOD_RESPONSE(fl_method_success_response_new(result));
  return fl_method_call_respond(self, response, error);
}

gboolean fl_method_call_respond_error(FlMethodCall* self, const gchar* code, const gchar* message,
                                      FlValue* details, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CALL(self), FALSE);
  g_return_val_if_fail(code != nullptr, FALSE);
  g_autoptr(FlMethodResponse) response =
      FL_METHOD_RESPONSE(fl_method_error_response_new(code, message, details));
  return fl_method_call_respond(self, response, error);
}

gboolean fl_method_call_respond_not_implemented(FlMethodCall* self, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CALL(self), FALSE);
  g_autoptr(FlMethodResponse) response =
      FL_METHOD_RESPONSE(fl_method_not_implemented_response_new());
  return fl_method_call_respond(self, response, error);
}
