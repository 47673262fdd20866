#pragma once

#include <flutter_linux/flutter_linux.h>

#include <cstddef>

// Stand-in internals of FlValue that its codec needs.

// Appends an entry to a map without looking for an equal key (the caller
// knows there is none). Takes both references.
void fl_value_map_append_take(FlValue* map, FlValue* key, FlValue* child_value);
// Replaces the value of entry `index`, taking the reference.
void fl_value_map_replace_value_take(FlValue* map, size_t index, FlValue* child_value);
// A text value that is `length` bytes of `bytes` from `text` on, which must
// be followed by a NUL byte; the value keeps a reference to `bytes` instead
// of copying the text.
FlValue* fl_value_new_string_in_bytes(GBytes* bytes, const gchar* text, size_t length);
// Byte length of a text value (which may hold NUL bytes).
size_t fl_value_string_length(FlValue* value);
// A hash that agrees with fl_value_equal.
size_t fl_value_hash(FlValue* value);
