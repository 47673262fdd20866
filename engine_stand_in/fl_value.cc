// FlValue: a reference-counted tree of channel values. Lists and maps own a
// reference to each child; maps keep their entries in insertion order.

#include <flutter_linux/flutter_linux.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "engine_stand_in/fl_value_private.h"

struct _FlValue {
  std::atomic<int> ref_count{1};
  FlValueType type = FL_VALUE_TYPE_NULL;
  bool bool_value = false;
  int64_t int_value = 0;
  double float_value = 0;
  // Text, or the elements of a typed list as raw bytes (the allocator's
  // alignment suits every element type).
  std::string data;
  // Or, for a text kept where it was received, the bytes that hold it and
  // the text itself (followed by a NUL byte).
  GBytes* text_bytes = nullptr;
  std::string_view text_in_bytes;
  // The children of a list, or the keys of a map.
  std::vector<FlValue*> children;
  // The values of a map, index for index with its keys.
  std::vector<FlValue*> map_values;
};

namespace {

FlValue* NewValue(FlValueType type) {
  FlValue* value = new FlValue;
  value->type = type;
  return value;
}

// The text of a text value, wherever it is kept.
std::string_view Text(const FlValue* value) {
  return value->text_bytes != nullptr ? value->text_in_bytes : std::string_view(value->data);
}

size_t ElementSize(FlValueType type) {
  switch (type) {
    case FL_VALUE_TYPE_UINT8_LIST:
      return 1;
    case FL_VALUE_TYPE_INT32_LIST:
    case FL_VALUE_TYPE_FLOAT32_LIST:
      return 4;
    case FL_VALUE_TYPE_INT64_LIST:
    case FL_VALUE_TYPE_FLOAT_LIST:
      return 8;
    default:
      return 0;
  }
}

bool IsTypedList(FlValueType type) { return ElementSize(type) != 0; }

FlValue* NewTypedList(FlValueType type, const void* elements, size_t count) {
  FlValue* value = NewValue(type);
  if (count > 0) value->data.assign(static_cast<const char*>(elements), count * ElementSize(type));
  return value;
}

// Index of the key equal to `key`, or -1.
ptrdiff_t FindKey(FlValue* map, FlValue* key) {
  for (size_t i = 0; i < map->children.size(); ++i) {
    if (fl_value_equal(map->children[i], key)) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

void AppendText(GString* out, FlValue* value);

// A double as the engine writes it: sixteen digits after the point, then
// trailing zeros dropped down to one ("1.0", "0.1").
void AppendDouble(GString* out, double number) {
  const gsize start = out->len;
  g_string_append_printf(out, "%.16f", number);
  const char* point = strchr(out->str + start, '.');
  if (point == nullptr) return;
  gsize end = out->len;
  const gsize keep = static_cast<gsize>(point - out->str) + 2;
  while (end > keep && out->str[end - 1] == '0') --end;
  g_string_truncate(out, end);
}

template <typename T>
void AppendElements(GString* out, FlValue* value) {
  const size_t count = value->data.size() / sizeof(T);
  g_string_append_c(out, '[');
  for (size_t i = 0; i < count; ++i) {
    T element;
    std::memcpy(&element, value->data.data() + i * sizeof(T), sizeof(T));
    if (i > 0) g_string_append(out, ", ");
    if constexpr (std::is_floating_point_v<T>) {
      AppendDouble(out, static_cast<double>(element));
    } else {
      g_string_append_printf(out, "%" G_GINT64_FORMAT, static_cast<gint64>(element));
    }
  }
  g_string_append_c(out, ']');
}

void AppendText(GString* out, FlValue* value) {
  switch (value->type) {
    case FL_VALUE_TYPE_NULL:
      g_string_append(out, "null");
      return;
    case FL_VALUE_TYPE_BOOL:
      g_string_append(out, value->bool_value ? "true" : "false");
      return;
    case FL_VALUE_TYPE_INT:
      g_string_append_printf(out, "%" G_GINT64_FORMAT, value->int_value);
      return;
    case FL_VALUE_TYPE_FLOAT:
      AppendDouble(out, value->float_value);
      return;
    case FL_VALUE_TYPE_STRING: {
      const std::string_view text = Text(value);
      g_string_append_len(out, text.data(), static_cast<gssize>(text.size()));
      return;
    }
    case FL_VALUE_TYPE_UINT8_LIST:
      AppendElements<uint8_t>(out, value);
      return;
    case FL_VALUE_TYPE_INT32_LIST:
      AppendElements<int32_t>(out, value);
      return;
    case FL_VALUE_TYPE_INT64_LIST:
      AppendElements<int64_t>(out, value);
      return;
    case FL_VALUE_TYPE_FLOAT32_LIST:
      AppendElements<float>(out, value);
      return;
    case FL_VALUE_TYPE_FLOAT_LIST:
      AppendElements<double>(out, value);
      return;
    case FL_VALUE_TYPE_LIST:
      g_string_append_c(out, '[');
      for (size_t i = 0; i < value->children.size(); ++i) {
        if (i > 0) g_string_append(out, ", ");
        AppendText(out, value->children[i]);
      }
      g_string_append_c(out, ']');
      return;
    case FL_VALUE_TYPE_MAP:
      g_string_append_c(out, '{');
      for (size_t i = 0; i < value->children.size(); ++i) {
        if (i > 0) g_string_append(out, ", ");
        AppendText(out, value->children[i]);
        g_string_append(out, ": ");
        AppendText(out, value->map_values[i]);
      }
      g_string_append_c(out, '}');
      return;
  }
}

}  // namespace

FlValue* fl_value_new_null() { return NewValue(FL_VALUE_TYPE_NULL); }

FlValue* fl_value_new_bool(bool value) {
  FlValue* result = NewValue(FL_VALUE_TYPE_BOOL);
  result->bool_value = value;
  return result;
}

FlValue* fl_value_new_int(int64_t value) {
  FlValue* result = NewValue(FL_VALUE_TYPE_INT);
  result->int_value = value;
  return result;
}

FlValue* fl_value_new_float(double value) {
  FlValue* result = NewValue(FL_VALUE_TYPE_FLOAT);
  result->float_value = value;
  return result;
}

FlValue* fl_value_new_string(const gchar* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  return fl_value_new_string_sized(value, std::strlen(value));
}

FlValue* fl_value_new_string_sized(const gchar* value, size_t value_length) {
  g_return_val_if_fail(value != nullptr || value_length == 0, nullptr);
  FlValue* result = NewValue(FL_VALUE_TYPE_STRING);
  if (value_length > 0) result->data.assign(value, value_length);
  return result;
}

FlValue* fl_value_new_string_in_bytes(GBytes* bytes, const gchar* text, size_t length) {
  FlValue* result = NewValue(FL_VALUE_TYPE_STRING);
  result->text_bytes = g_bytes_ref(bytes);
  result->text_in_bytes = std::string_view(text, length);
  return result;
}

FlValue* fl_value_new_uint8_list(const uint8_t* value, size_t value_length) {
  return NewTypedList(FL_VALUE_TYPE_UINT8_LIST, value, value_length);
}

FlValue* fl_value_new_uint8_list_from_bytes(GBytes* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  gsize size = 0;
  const void* data = g_bytes_get_data(value, &size);
  return NewTypedList(FL_VALUE_TYPE_UINT8_LIST, data, size);
}

FlValue* fl_value_new_int32_list(const int32_t* value, size_t value_length) {
  return NewTypedList(FL_VALUE_TYPE_INT32_LIST, value, value_length);
}

FlValue* fl_value_new_int64_list(const int64_t* value, size_t value_length) {
  return NewTypedList(FL_VALUE_TYPE_INT64_LIST, value, value_length);
}

FlValue* fl_value_new_float32_list(const float* value, size_t value_length) {
  return NewTypedList(FL_VALUE_TYPE_FLOAT32_LIST, value, value_length);
}

FlValue* fl_value_new_float_list(const double* value, size_t value_length) {
  return NewTypedList(FL_VALUE_TYPE_FLOAT_LIST, value, value_length);
}

FlValue* fl_value_new_list() { return NewValue(FL_VALUE_TYPE_LIST); }

FlValue* fl_value_new_list_from_strv(const gchar* const* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  FlValue* list = fl_value_new_list();
  for (size_t i = 0; value[i] != nullptr; ++i)
    fl_value_append_take(list, fl_value_new_string(value[i]));
  return list;
}

FlValue* fl_value_new_map() { return NewValue(FL_VALUE_TYPE_MAP); }

FlValue* fl_value_ref(FlValue* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  value->ref_count.fetch_add(1, std::memory_order_relaxed);
  return value;
}

void fl_value_unref(FlValue* value) {
  g_return_if_fail(value != nullptr);
  if (value->ref_count.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // Children are released iteratively, so a deeply nested value cannot
  // exhaust the stack on its way out.
  std::vector<FlValue*> pending{value};
  while (!pending.empty()) {
    FlValue* current = pending.back();
    pending.pop_back();
    for (FlValue* child : current->children) {
      if (child->ref_count.fetch_sub(1, std::memory_order_acq_rel) == 1) pending.push_back(child);
    }
    for (FlValue* child : current->map_values) {
      if (child->ref_count.fetch_sub(1, std::memory_order_acq_rel) == 1) pending.push_back(child);
    }
    if (current->text_bytes != nullptr) g_bytes_unref(current->text_bytes);
    delete current;
  }
}

FlValueType fl_value_get_type(FlValue* value) {
  g_return_val_if_fail(value != nullptr, FL_VALUE_TYPE_NULL);
  return value->type;
}

bool fl_value_equal(FlValue* a, FlValue* b) {
  g_return_val_if_fail(a != nullptr && b != nullptr, false);
  if (a == b) return true;
  if (a->type != b->type) return false;
  switch (a->type) {
    case FL_VALUE_TYPE_NULL:
      return true;
    case FL_VALUE_TYPE_BOOL:
      return a->bool_value == b->bool_value;
    case FL_VALUE_TYPE_INT:
      return a->int_value == b->int_value;
    case FL_VALUE_TYPE_FLOAT:
      return a->float_value == b->float_value;
    case FL_VALUE_TYPE_LIST:
      if (a->children.size() != b->children.size()) return false;
      for (size_t i = 0; i < a->children.size(); ++i) {
        if (!fl_value_equal(a->children[i], b->children[i])) return false;
      }
      return true;
    case FL_VALUE_TYPE_MAP:
      if (a->children.size() != b->children.size()) return false;
      for (size_t i = 0; i < a->children.size(); ++i) {
        FlValue* other = fl_value_lookup(b, a->children[i]);
        if (other == nullptr || !fl_value_equal(a->map_values[i], other)) return false;
      }
      return true;
    case FL_VALUE_TYPE_STRING:
      return Text(a) == Text(b);
    default:
      // Typed lists compare their bytes.
      return a->data == b->data;
  }
}

void fl_value_append(FlValue* value, FlValue* child) {
  g_return_if_fail(child != nullptr);
  fl_value_append_take(value, fl_value_ref(child));
}

void fl_value_append_take(FlValue* value, FlValue* child) {
  g_return_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_LIST);
  g_return_if_fail(child != nullptr);
  value->children.push_back(child);
}

void fl_value_set(FlValue* value, FlValue* key, FlValue* child_value) {
  g_return_if_fail(key != nullptr && child_value != nullptr);
  fl_value_set_take(value, fl_value_ref(key), fl_value_ref(child_value));
}

void fl_value_set_take(FlValue* value, FlValue* key, FlValue* child_value) {
  g_return_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_MAP);
  g_return_if_fail(key != nullptr && child_value != nullptr);
  const ptrdiff_t index = FindKey(value, key);
  if (index < 0) {
    fl_value_map_append_take(value, key, child_value);
    return;
  }
  const size_t i = static_cast<size_t>(index);
  fl_value_unref(value->children[i]);
  fl_value_unref(value->map_values[i]);
  value->children[i] = key;
  value->map_values[i] = child_value;
}

void fl_value_set_string(FlValue* value, const gchar* key, FlValue* child_value) {
  g_return_if_fail(key != nullptr && child_value != nullptr);
  fl_value_set_take(value, fl_value_new_string(key), fl_value_ref(child_value));
}

void fl_value_set_string_take(FlValue* value, const gchar* key, FlValue* child_value) {
  g_return_if_fail(key != nullptr && child_value != nullptr);
  fl_value_set_take(value, fl_value_new_string(key), child_value);
}

void fl_value_map_append_take(FlValue* map, FlValue* key, FlValue* child_value) {
  map->children.push_back(key);
  map->map_values.push_back(child_value);
}

void fl_value_map_replace_value_take(FlValue* map, size_t index, FlValue* child_value) {
  fl_value_unref(map->map_values[index]);
  map->map_values[index] = child_value;
}

bool fl_value_get_bool(FlValue* value) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_BOOL, false);
  return value->bool_value;
}

int64_t fl_value_get_int(FlValue* value) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_INT, 0);
  return value->int_value;
}

double fl_value_get_float(FlValue* value) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_FLOAT, 0.0);
  return value->float_value;
}

const gchar* fl_value_get_string(FlValue* value) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_STRING, nullptr);
  return value->text_bytes != nullptr ? value->text_in_bytes.data() : value->data.c_str();
}

size_t fl_value_string_length(FlValue* value) { return Text(value).size(); }

size_t fl_value_get_length(FlValue* value) {
  g_return_val_if_fail(value != nullptr, 0);
  if (value->type == FL_VALUE_TYPE_LIST || value->type == FL_VALUE_TYPE_MAP) {
    return value->children.size();
  }
  g_return_val_if_fail(IsTypedList(value->type), 0);
  return value->data.size() / ElementSize(value->type);
}

namespace {

const void* TypedElements(FlValue* value, FlValueType type) {
  g_return_val_if_fail(value != nullptr && value->type == type, nullptr);
  return value->data.data();
}

}  // namespace

const uint8_t* fl_value_get_uint8_list(FlValue* value) {
  return static_cast<const uint8_t*>(TypedElements(value, FL_VALUE_TYPE_UINT8_LIST));
}

const int32_t* fl_value_get_int32_list(FlValue* value) {
  return static_cast<const int32_t*>(TypedElements(value, FL_VALUE_TYPE_INT32_LIST));
}

const int64_t* fl_value_get_int64_list(FlValue* value) {
  return static_cast<const int64_t*>(TypedElements(value, FL_VALUE_TYPE_INT64_LIST));
}

const float* fl_value_get_float32_list(FlValue* value) {
  return static_cast<const float*>(TypedElements(value, FL_VALUE_TYPE_FLOAT32_LIST));
}

const double* fl_value_get_float_list(FlValue* value) {
  return static_cast<const double*>(TypedElements(value, FL_VALUE_TYPE_FLOAT_LIST));
}

FlValue* fl_value_get_list_value(FlValue* value, size_t index) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_LIST, nullptr);
  g_return_val_if_fail(index < value->children.size(), nullptr);
  return value->children[index];
}

FlValue* fl_value_get_map_key(FlValue* value, size_t index) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(index < value->children.size(), nullptr);
  return value->children[index];
}

FlValue* fl_value_get_map_value(FlValue* value, size_t index) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(index < value->map_values.size(), nullptr);
  return value->map_values[index];
}

FlValue* fl_value_lookup(FlValue* value, FlValue* key) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(key != nullptr, nullptr);
  const ptrdiff_t index = FindKey(value, key);
  return index < 0 ? nullptr : value->map_values[static_cast<size_t>(index)];
}

FlValue* fl_value_lookup_string(FlValue* value, const gchar* key) {
  g_return_val_if_fail(value != nullptr && value->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(key != nullptr, nullptr);
  const size_t length = std::strlen(key);
  for (size_t i = 0; i < value->children.size(); ++i) {
    FlValue* candidate = value->children[i];
    if (candidate->type == FL_VALUE_TYPE_STRING &&
        Text(candidate) == std::string_view(key, length)) {
      return value->map_values[i];
    }
  }
  return nullptr;
}

gchar* fl_value_to_string(FlValue* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  GString* out = g_string_new(nullptr);
  AppendText(out, value);
  return g_string_free(out, FALSE);
}

size_t fl_value_hash(FlValue* value) {
  size_t hash = static_cast<size_t>(value->type) * 1000003u;
  auto mix = [&hash](size_t part) { hash = (hash ^ part) * 1099511628211u; };
  switch (value->type) {
    case FL_VALUE_TYPE_BOOL:
      mix(value->bool_value ? 1 : 2);
      break;
    case FL_VALUE_TYPE_INT:
      mix(std::hash<int64_t>()(value->int_value));
      break;
    case FL_VALUE_TYPE_FLOAT:
      // Equal doubles (0.0 and -0.0) must hash alike.
      mix(value->float_value == 0 ? 0 : std::hash<double>()(value->float_value));
      break;
    case FL_VALUE_TYPE_LIST:
      for (FlValue* child : value->children) mix(fl_value_hash(child));
      break;
    case FL_VALUE_TYPE_MAP:
      // Order-independent, as map equality is.
      {
        size_t sum = 0;
        for (size_t i = 0; i < value->children.size(); ++i) {
          sum += fl_value_hash(value->children[i]) * 31 + fl_value_hash(value->map_values[i]);
        }
        mix(sum);
      }
      break;
    case FL_VALUE_TYPE_NULL:
      break;
    case FL_VALUE_TYPE_STRING:
      mix(std::hash<std::string_view>()(Text(value)));
      break;
    default:
      mix(std::hash<std::string>()(value->data));
      break;
  }
  return hash;
}
