#ifndef FLUTTER_LINUX_FL_BINARY_MESSENGER_H_
#define FLUTTER_LINUX_FL_BINARY_MESSENGER_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <gio/gio.h>
#include <glib-object.h>

G_BEGIN_DECLS

#define FL_BINARY_MESSENGER_ERROR fl_binary_messenger_codec_error_quark()

typedef enum {
  FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED,
} FlBinaryMessengerError;

GQuark fl_binary_messenger_codec_error_quark(void) G_GNUC_CONST;

G_DECLARE_INTERFACE(FlBinaryMessenger, fl_binary_messenger, FL, BINARY_MESSENGER, GObject)

G_DECLARE_DERIVABLE_TYPE(FlBinaryMessengerResponseHandle, fl_binary_messenger_response_handle, FL,
                         BINARY_MESSENGER_RESPONSE_HANDLE, GObject)

struct _FlBinaryMessengerResponseHandleClass {
  GObjectClass parent_class;
};

// Called on the main thread for each message received on a channel. Respond
// with fl_binary_messenger_send_response(); to respond later, keep a
// reference to @response_handle until then.
typedef void (*FlBinaryMessengerMessageHandler)(FlBinaryMessenger* messenger, const gchar* channel,
                                                GBytes* message,
                                                FlBinaryMessengerResponseHandle* response_handle,
                                                gpointer user_data);

struct _FlBinaryMessengerInterface {
  GTypeInterface parent_iface;

  void (*set_message_handler_on_channel)(FlBinaryMessenger* messenger, const gchar* channel,
                                         FlBinaryMessengerMessageHandler handler,
                                         gpointer user_data, GDestroyNotify destroy_notify);
  gboolean (*send_response)(FlBinaryMessenger* messenger,
                            FlBinaryMessengerResponseHandle* response_handle, GBytes* response,
                            GError** error);
  void (*send_on_channel)(FlBinaryMessenger* messenger, const gchar* channel, GBytes* message,
                          GCancellable* cancellable, GAsyncReadyCallback callback,
                          gpointer user_data);
  GBytes* (*send_on_channel_finish)(FlBinaryMessenger* messenger, GAsyncResult* result,
                                    GError** error);
};

// Installs @handler for @channel, replacing (and destroying) any earlier
// one; a NULL @handler removes it.
void fl_binary_messenger_set_message_handler_on_channel(FlBinaryMessenger* messenger,
                                                        const gchar* channel,
                                                        FlBinaryMessengerMessageHandler handler,
                                                        gpointer user_data,
                                                        GDestroyNotify destroy_notify);

// Responds to a message once; a second response fails with
// FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED. @response: (allow-none): NULL
// sends an empty response. Thread-safe.
gboolean fl_binary_messenger_send_response(FlBinaryMessenger* messenger,
                                           FlBinaryMessengerResponseHandle* response_handle,
                                           GBytes* response, GError** error);

// Sends a message to the user interface.
void fl_binary_messenger_send_on_channel(FlBinaryMessenger* messenger, const gchar* channel,
                                         GBytes* message, GCancellable* cancellable,
                                         GAsyncReadyCallback callback, gpointer user_data);
// Returns: (transfer full): the response, or NULL with @error set.
GBytes* fl_binary_messenger_send_on_channel_finish(FlBinaryMessenger* messenger,
                                                   GAsyncResult* result, GError** error);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_BINARY_MESSENGER_H_
