#ifndef FLUTTER_LINUX_FL_METHOD_CHANNEL_H_
#define FLUTTER_LINUX_FL_METHOD_CHANNEL_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <gio/gio.h>
#include <glib-object.h>

#include "fl_binary_messenger.h"
#include "fl_method_call.h"
#include "fl_method_codec.h"
#include "fl_method_response.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlMethodChannel, fl_method_channel, FL, METHOD_CHANNEL, GObject)

// Called on the main thread for every method call on the channel. Respond
// with fl_method_call_respond() and its shorthands; to respond later, keep a
// reference to @method_call until then.
typedef void (*FlMethodChannelMethodCallHandler)(FlMethodChannel* channel,
                                                 FlMethodCall* method_call, gpointer user_data);

// A named channel on @messenger. The messenger keeps the channel alive while
// it is the channel's handler.
FlMethodChannel* fl_method_channel_new(FlBinaryMessenger* messenger, const gchar* name,
                                       FlMethodCodec* codec);

// Sets the function called for each method call, replacing (and destroying
// the data of) any earlier one.
void fl_method_channel_set_method_call_handler(FlMethodChannel* channel,
                                               FlMethodChannelMethodCallHandler handler,
                                               gpointer user_data, GDestroyNotify destroy_notify);

// Calls a method on the user interface's side of the channel.
void fl_method_channel_invoke_method(FlMethodChannel* channel, const gchar* method, FlValue* args,
                                     GCancellable* cancellable, GAsyncReadyCallback callback,
                                     gpointer user_data);
// Returns: (transfer full): the response, or NULL with @error set.
FlMethodResponse* fl_method_channel_invoke_method_finish(FlMethodChannel* channel,
                                                         GAsyncResult* result, GError** error);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_METHOD_CHANNEL_H_
