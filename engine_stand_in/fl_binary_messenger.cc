// The FlBinaryMessenger interface and the base of its response handles.

#include <flutter_linux/flutter_linux.h>

G_DEFINE_QUARK(fl_binary_messenger_codec_error_quark, fl_binary_messenger_codec_error)

G_DEFINE_INTERFACE(FlBinaryMessenger, fl_binary_messenger, G_TYPE_OBJECT)

static void fl_binary_messenger_default_init(FlBinaryMessengerInterface*) {}

G_DEFINE_TYPE(FlBinaryMessengerResponseHandle, fl_binary_messenger_response_handle, G_TYPE_OBJECT)

static void fl_binary_messenger_response_handle_class_init(FlBinaryMessengerResponseHandleClass*) {}
static void fl_binary_messenger_response_handle_init(FlBinaryMessengerResponseHandle*) {}

void fl_binary_messenger_set_message_handler_on_channel(FlBinaryMessenger* self,
                                                        const gchar* channel,
                                                        FlBinaryMessengerMessageHandler handler,
                                                        gpointer user_data,
                                                        GDestroyNotify destroy_notify) {
  g_return_if_fail(FL_IS_BINARY_MESSENGER(self));
  g_return_if_fail(channel != nullptr);
  FL_BINARY_MESSENGER_GET_IFACE(self)->set_message_handler_on_channel(self, channel, handler,
                                                                      user_data, destroy_notify);
}

gboolean fl_binary_messenger_send_response(FlBinaryMessenger* self,
                                           FlBinaryMessengerResponseHandle* response_handle,
                                           GBytes* response, GError** error) {
  g_return_val_if_fail(FL_IS_BINARY_MESSENGER(self), FALSE);
  g_return_val_if_fail(FL_IS_BINARY_MESSENGER_RESPONSE_HANDLE(response_handle), FALSE);
  return FL_BINARY_MESSENGER_GET_IFACE(self)->send_response(self, response_handle, response, error);
}

void fl_binary_messenger_send_on_channel(FlBinaryMessenger* self, const gchar* channel,
                                         GBytes* message, GCancellable* cancellable,
                                         GAsyncReadyCallback callback, gpointer user_data) {
  g_return_if_fail(FL_IS_BINARY_MESSENGER(self));
  g_return_if_fail(channel != nullptr);
  FL_BINARY_MESSENGER_GET_IFACE(self)->send_on_channel(self, channel, message, cancellable,
                                                       callback, user_data);
}

GBytes* fl_binary_messenger_send_on_channel_finish(FlBinaryMessenger* self, GAsyncResult* result,
                                                   GError** error) {
  g_return_val_if_fail(FL_IS_BINARY_MESSENGER(self), nullptr);
  return FL_BINARY_MESSENGER_GET_IFACE(self)->send_on_channel_finish(self, result, error);
}
