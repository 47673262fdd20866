#pragma once

#include <flutter_linux/flutter_linux.h>

// Stand-in internals shared by FlMethodChannel and FlMethodCall.

// Returns: (transfer full): a call that answers through @channel.
FlMethodCall* fl_method_call_new(const gchar* name, FlValue* args, FlMethodChannel* channel,
                                 FlBinaryMessengerResponseHandle* response_handle);

// Encodes @response with the channel's codec and sends it as the answer to
// @response_handle.
gboolean fl_method_channel_respond(FlMethodChannel* channel,
                                   FlBinaryMessengerResponseHandle* response_handle,
                                   FlMethodResponse* response, GError** error);

// The name the channel was made with.
const gchar* fl_method_channel_get_name(FlMethodChannel* channel);
