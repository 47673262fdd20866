#ifndef FLUTTER_LINUX_FL_METHOD_CALL_H_
#define FLUTTER_LINUX_FL_METHOD_CALL_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>

#include "fl_method_response.h"
#include "fl_value.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlMethodCall, fl_method_call, FL, METHOD_CALL, GObject)

// One method call received on a channel.
const gchar* fl_method_call_get_name(FlMethodCall* method_call);
// The arguments; a value of type FL_VALUE_TYPE_NULL when the call has none.
FlValue* fl_method_call_get_args(FlMethodCall* method_call);

// Answers the call. Only the first answer is sent; a later one returns FALSE
// with FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED.
gboolean fl_method_call_respond(FlMethodCall* method_call, FlMethodResponse* response,
                                GError** error);
gboolean fl_method_call_respond_success(FlMethodCall* method_call, FlValue* result, GError** error);
gboolean fl_method_call_respond_error(FlMethodCall* method_call, const gchar* code,
                                      const gchar* message, FlValue* details, GError** error);
gboolean fl_method_call_respond_not_implemented(FlMethodCall* method_call, GError** error);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_METHOD_CALL_H_
