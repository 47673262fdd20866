#ifndef FLUTTER_LINUX_FL_VALUE_H_
#define FLUTTER_LINUX_FL_VALUE_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

G_BEGIN_DECLS

// A reference-counted value that crosses a platform channel.
typedef struct _FlValue FlValue;

typedef enum {
  FL_VALUE_TYPE_NULL,
  FL_VALUE_TYPE_BOOL,
  FL_VALUE_TYPE_INT,
  FL_VALUE_TYPE_FLOAT,
  FL_VALUE_TYPE_STRING,
  FL_VALUE_TYPE_UINT8_LIST,
  FL_VALUE_TYPE_INT32_LIST,
  FL_VALUE_TYPE_INT64_LIST,
  FL_VALUE_TYPE_FLOAT_LIST,
  FL_VALUE_TYPE_LIST,
  FL_VALUE_TYPE_MAP,
  FL_VALUE_TYPE_FLOAT32_LIST,
} FlValueType;

// Constructors; each returns a new value with one reference.
FlValue* fl_value_new_null();
FlValue* fl_value_new_bool(bool value);
FlValue* fl_value_new_int(int64_t value);
FlValue* fl_value_new_float(double value);
FlValue* fl_value_new_string(const gchar* value);
FlValue* fl_value_new_string_sized(const gchar* value, size_t value_length);
FlValue* fl_value_new_uint8_list(const uint8_t* value, size_t value_length);
FlValue* fl_value_new_uint8_list_from_bytes(GBytes* value);
FlValue* fl_value_new_int32_list(const int32_t* value, size_t value_length);
FlValue* fl_value_new_int64_list(const int64_t* value, size_t value_length);
FlValue* fl_value_new_float32_list(const float* value, size_t value_length);
FlValue* fl_value_new_float_list(const double* value, size_t value_length);
FlValue* fl_value_new_list();
FlValue* fl_value_new_list_from_strv(const gchar* const* value);
FlValue* fl_value_new_map();

FlValue* fl_value_ref(FlValue* value);
void fl_value_unref(FlValue* value);

FlValueType fl_value_get_type(FlValue* value);

// Same type and same data, children included; map order does not matter.
bool fl_value_equal(FlValue* a, FlValue* b);

// Lists: append a child (the _take forms take the caller's reference).
void fl_value_append(FlValue* value, FlValue* child);
void fl_value_append_take(FlValue* value, FlValue* child);

// Maps: set a key, replacing an existing equal key's value.
void fl_value_set(FlValue* value, FlValue* key, FlValue* child_value);
void fl_value_set_take(FlValue* value, FlValue* key, FlValue* child_value);
void fl_value_set_string(FlValue* value, const gchar* key, FlValue* child_value);
void fl_value_set_string_take(FlValue* value, const gchar* key, FlValue* child_value);

bool fl_value_get_bool(FlValue* value);
int64_t fl_value_get_int(FlValue* value);
double fl_value_get_float(FlValue* value);
const gchar* fl_value_get_string(FlValue* value);
// Elements of a typed list, a list or a map.
size_t fl_value_get_length(FlValue* value);
const uint8_t* fl_value_get_uint8_list(FlValue* value);
const int32_t* fl_value_get_int32_list(FlValue* value);
const int64_t* fl_value_get_int64_list(FlValue* value);
const float* fl_value_get_float32_list(FlValue* value);
const double* fl_value_get_float_list(FlValue* value);
FlValue* fl_value_get_list_value(FlValue* value, size_t index);
FlValue* fl_value_get_map_key(FlValue* value, size_t index);
FlValue* fl_value_get_map_value(FlValue* value, size_t index);
// The value stored under an equal key, or NULL.
FlValue* fl_value_lookup(FlValue* value, FlValue* key);
FlValue* fl_value_lookup_string(FlValue* value, const gchar* key);

// A readable form, for diagnostics. Free with g_free().
gchar* fl_value_to_string(FlValue* value);

G_DEFINE_AUTOPTR_CLEANUP_FUNC(FlValue, fl_value_unref)

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_VALUE_H_
