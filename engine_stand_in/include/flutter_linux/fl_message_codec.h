#ifndef FLUTTER_LINUX_FL_MESSAGE_CODEC_H_
#define FLUTTER_LINUX_FL_MESSAGE_CODEC_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>

#include "fl_value.h"

G_BEGIN_DECLS

#define FL_MESSAGE_CODEC_ERROR fl_message_codec_error_quark()

typedef enum {
  FL_MESSAGE_CODEC_ERROR_FAILED,
  FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA,
  FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA,
  FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE,
} FlMessageCodecError;

GQuark fl_message_codec_error_quark(void) G_GNUC_CONST;

G_DECLARE_DERIVABLE_TYPE(FlMessageCodec, fl_message_codec, FL, MESSAGE_CODEC, GObject)

struct _FlMessageCodecClass {
  GObjectClass parent_class;
  GBytes* (*encode_message)(FlMessageCodec* codec, FlValue* message, GError** error);
  FlValue* (*decode_message)(FlMessageCodec* codec, GBytes* message, GError** error);
};

// Returns: (transfer full): the encoded message, or NULL with @error set.
GBytes* fl_message_codec_encode_message(FlMessageCodec* codec, FlValue* message, GError** error);
// Returns: (transfer full): the decoded value, or NULL with @error set.
FlValue* fl_message_codec_decode_message(FlMessageCodec* codec, GBytes* message, GError** error);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_MESSAGE_CODEC_H_
