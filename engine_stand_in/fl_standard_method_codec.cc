// FlMethodCodec and the standard method codec. A call is the method name (a
// string value) followed by the arguments value; a reply is a success
// envelope (0, value), an error envelope (1, code, message or null, details)
// with nothing after it, or, for not-implemented, no bytes at all.

#include <flutter_linux/flutter_linux.h>

#include "engine_stand_in/fl_standard_codec_private.h"

G_DEFINE_TYPE(FlMethodCodec, fl_method_codec, G_TYPE_OBJECT)

static void fl_method_codec_class_init(FlMethodCodecClass*) {}
static void fl_method_codec_init(FlMethodCodec*) {}

GBytes* fl_method_codec_encode_method_call(FlMethodCodec* codec, const gchar* name, FlValue* args,
                                           GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CODEC(codec), nullptr);
  g_return_val_if_fail(name != nullptr, nullptr);
  return FL_METHOD_CODEC_GET_CLASS(codec)->encode_method_call(codec, name, args, error);
}

gboolean fl_method_codec_decode_method_call(FlMethodCodec* codec, GBytes* message, gchar** name,
                                            FlValue** args, GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CODEC(codec), FALSE);
  g_return_val_if_fail(message != nullptr && name != nullptr && args != nullptr, FALSE);
  return FL_METHOD_CODEC_GET_CLASS(codec)->decode_method_call(codec, message, name, args, error);
}

GBytes* fl_method_codec_encode_success_envelope(FlMethodCodec* codec, FlValue* result,
                                                GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CODEC(codec), nullptr);
  return FL_METHOD_CODEC_GET_CLASS(codec)->encode_success_envelope(codec, result, error);
}

GBytes* fl_method_codec_encode_error_envelope(FlMethodCodec* codec, const gchar* code,
                                              const gchar* message, FlValue* details,
                                              GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CODEC(codec), nullptr);
  g_return_val_if_fail(code != nullptr, nullptr);
  return FL_METHOD_CODEC_GET_CLASS(codec)->encode_error_envelope(codec, code, message, details,
                                                                 error);
}

FlMethodResponse* fl_method_codec_decode_response(FlMethodCodec* codec, GBytes* message,
                                                  GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_CODEC(codec), nullptr);
  g_return_val_if_fail(message != nullptr, nullptr);
  if (g_bytes_get_size(message) == 0) {
    return FL_METHOD_RESPONSE(fl_method_not_implemented_response_new());
  }
  return FL_METHOD_CODEC_GET_CLASS(codec)->decode_response(codec, message, error);
}

GBytes* fl_method_codec_encode_response(FlMethodCodec* codec, FlMethodResponse* response,
                                        GError** error) {
  g_return_val_if_fail(FL_IS_METHOD_RESPONSE(response), nullptr);
  if (FL_IS_METHOD_SUCCESS_RESPONSE(response)) {
    return fl_method_codec_encode_success_envelope(
        codec, fl_method_success_response_get_result(FL_METHOD_SUCCESS_RESPONSE(response)), error);
  }
  if (FL_IS_METHOD_ERROR_RESPONSE(response)) {
    FlMethodErrorResponse* failure = FL_METHOD_ERROR_RESPONSE(response);
    return fl_method_codec_encode_error_envelope(codec, fl_method_error_response_get_code(failure),
                                                 fl_method_error_response_get_message(failure),
                                                 fl_method_error_response_get_details(failure),
                                                 error);
  }
  return g_bytes_new(nullptr, 0);
}

struct _FlStandardMethodCodec {
  FlMethodCodec parent_instance;
  FlStandardMessageCodec* message_codec;
};

G_DEFINE_TYPE(FlStandardMethodCodec, fl_standard_method_codec, fl_method_codec_get_type())

namespace {

constexpr guint8 kSuccessEnvelope = 0;
constexpr guint8 kErrorEnvelope = 1;

FlStandardMessageCodec* MessageCodec(FlMethodCodec* codec) {
  return FL_STANDARD_METHOD_CODEC(codec)->message_codec;
}

// Writes `value` (NULL for a null value).
gboolean WriteValue(FlMethodCodec* codec, GByteArray* buffer, FlValue* value, GError** error) {
  g_autoptr(FlValue) null_value = fl_value_new_null();
  return fl_standard_message_codec_write_value(MessageCodec(codec), buffer,
                                               value != nullptr ? value : null_value, error);
}

GBytes* Finish(GByteArray* buffer) { return g_byte_array_free_to_bytes(buffer); }

gboolean AtEnd(GBytes* message, size_t offset, GError** error) {
  if (offset == g_bytes_get_size(message)) return TRUE;
  g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA,
              "Unused %zu bytes after the message", g_bytes_get_size(message) - offset);
  return FALSE;
}

// A reply is malformed (not merely long) when bytes follow its value.
gboolean NothingAfterReply(GBytes* message, size_t offset, GError** error) {
  if (offset == g_bytes_get_size(message)) return TRUE;
  g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_FAILED,
              "Unused %zu bytes after the reply", g_bytes_get_size(message) - offset);
  return FALSE;
}

gboolean Malformed(GError** error, const char* what) {
  g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_FAILED, "%s", what);
  return FALSE;
}

}  // namespace

static GBytes* encode_method_call(FlMethodCodec* codec, const gchar* name, FlValue* args,
                                  GError** error) {
  g_autoptr(GByteArray) buffer = g_byte_array_new();
  g_autoptr(FlValue) name_value = fl_value_new_string(name);
  if (!WriteValue(codec, buffer, name_value, error) || !WriteValue(codec, buffer, args, error)) {
    return nullptr;
  }
  return Finish(static_cast<GByteArray*>(g_steal_pointer(&buffer)));
}

static gboolean decode_method_call(FlMethodCodec* codec, GBytes* message, gchar** name,
                                   FlValue** args, GError** error) {
  size_t offset = 0;
  g_autoptr(FlValue) name_value =
      fl_standard_message_codec_read_value(MessageCodec(codec), message, &offset, error);
  if (name_value == nullptr) return FALSE;
  if (fl_value_get_type(name_value) != FL_VALUE_TYPE_STRING) {
    return Malformed(error, "Method call name is not a string");
  }
  g_autoptr(FlValue) args_value =
      fl_standard_message_codec_read_value(MessageCodec(codec), message, &offset, error);
  if (args_value == nullptr || !AtEnd(message, offset, error)) return FALSE;
  *name = g_strdup(fl_value_get_string(name_value));
  *args = static_cast<FlValue*>(g_steal_pointer(&args_value));
  return TRUE;
}

static GBytes* encode_success_envelope(FlMethodCodec* codec, FlValue* result, GError** error) {
  g_autoptr(GByteArray) buffer = g_byte_array_new();
  g_byte_array_append(buffer, &kSuccessEnvelope, 1);
  if (!WriteValue(codec, buffer, result, error)) return nullptr;
  return Finish(static_cast<GByteArray*>(g_steal_pointer(&buffer)));
}

static GBytes* encode_error_envelope(FlMethodCodec* codec, const gchar* code, const gchar* message,
                                     FlValue* details, GError** error) {
  g_autoptr(GByteArray) buffer = g_byte_array_new();
  g_byte_array_append(buffer, &kErrorEnvelope, 1);
  g_autoptr(FlValue) code_value = fl_value_new_string(code);
  g_autoptr(FlValue) message_value =
      message != nullptr ? fl_value_new_string(message) : fl_value_new_null();
  if (!WriteValue(codec, buffer, code_value, error) ||
      !WriteValue(codec, buffer, message_value, error) ||
      !WriteValue(codec, buffer, details, error)) {
    return nullptr;
  }
  return Finish(static_cast<GByteArray*>(g_steal_pointer(&buffer)));
}

static FlMethodResponse* decode_response(FlMethodCodec* codec, GBytes* message, GError** error) {
  FlStandardMessageCodec* values = MessageCodec(codec);
  const guint8 kind = static_cast<const guint8*>(g_bytes_get_data(message, nullptr))[0];
  size_t offset = 1;
  if (kind == kSuccessEnvelope) {
    g_autoptr(FlValue) result =
        fl_standard_message_codec_read_value(values, message, &offset, error);
    if (result == nullptr || !NothingAfterReply(message, offset, error)) return nullptr;
    return FL_METHOD_RESPONSE(fl_method_success_response_new(result));
  }
  if (kind != kErrorEnvelope) {
    Malformed(error, "Unknown envelope kind");
    return nullptr;
  }
  g_autoptr(FlValue) code = fl_standard_message_codec_read_value(values, message, &offset, error);
  if (code == nullptr) return nullptr;
  if (fl_value_get_type(code) != FL_VALUE_TYPE_STRING) {
    Malformed(error, "Error code is not a string");
    return nullptr;
  }
  g_autoptr(FlValue) text = fl_standard_message_codec_read_value(values, message, &offset, error);
  if (text == nullptr) return nullptr;
  const FlValueType text_type = fl_value_get_type(text);
  if (text_type != FL_VALUE_TYPE_STRING && text_type != FL_VALUE_TYPE_NULL) {
    Malformed(error, "Error message is not a string");
    return nullptr;
  }
  g_autoptr(FlValue) details =
      fl_standard_message_codec_read_value(values, message, &offset, error);
  if (details == nullptr) return nullptr;
  if (!NothingAfterReply(message, offset, error)) return nullptr;
  return FL_METHOD_RESPONSE(fl_method_error_response_new(
      fl_value_get_string(code),
      text_type == FL_VALUE_TYPE_STRING ? fl_value_get_string(text) : nullptr,
      fl_value_get_type(details) == FL_VALUE_TYPE_NULL ? nullptr : details));
}

static void fl_standard_method_codec_dispose(GObject* object) {
  g_clear_object(&FL_STANDARD_METHOD_CODEC(object)->message_codec);
  G_OBJECT_CLASS(fl_standard_method_codec_parent_class)->dispose(object);
}

static void fl_standard_method_codec_class_init(FlStandardMethodCodecClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_standard_method_codec_dispose;
  FlMethodCodecClass* codec = FL_METHOD_CODEC_CLASS(klass);
  codec->encode_method_call = encode_method_call;
  codec->decode_method_call = decode_method_call;
  codec->encode_success_envelope = encode_success_envelope;
  codec->encode_error_envelope = encode_error_envelope;
  codec->decode_response = decode_response;
}

static void fl_standard_method_codec_init(FlStandardMethodCodec*) {}

FlStandardMethodCodec* fl_standard_method_codec_new() {
  g_autoptr(FlStandardMessageCodec) message_codec = fl_standard_message_codec_new();
  return fl_standard_method_codec_new_with_message_codec(message_codec);
}

FlStandardMethodCodec* fl_standard_method_codec_new_with_message_codec(
    FlStandardMessageCodec* message_codec) {
  g_return_val_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(message_codec), nullptr);
  FlStandardMethodCodec* self =
      FL_STANDARD_METHOD_CODEC(g_object_new(fl_standard_method_codec_get_type(), nullptr));
  self->message_codec = FL_STANDARD_MESSAGE_CODEC(g_object_ref(message_codec));
  return self;
}
