// FlMessageCodec and the standard message codec: byte-exact with the app
// engine's format (little-endian, padding counted from the start of the
// message). Decoding never reads outside the message: a truncated message, an
// unknown tag, a size past the end, nesting deeper than
// kStandardCodecMaxDepth or trailing bytes are errors, never crashes.

#include <flutter_linux/flutter_linux.h>

#include <cstring>
#include <unordered_map>

#include "engine_stand_in/fl_standard_codec_private.h"
#include "engine_stand_in/fl_value_private.h"
#include "engine_stand_in/kept_message.h"
#include "engine_stand_in/standard_codec_tags.h"

G_DEFINE_QUARK(fl_message_codec_error_quark, fl_message_codec_error)

G_DEFINE_TYPE(FlMessageCodec, fl_message_codec, G_TYPE_OBJECT)

static void fl_message_codec_class_init(FlMessageCodecClass*) {}
static void fl_message_codec_init(FlMessageCodec*) {}

GBytes* fl_message_codec_encode_message(FlMessageCodec* codec, FlValue* message, GError** error) {
  g_return_val_if_fail(FL_IS_MESSAGE_CODEC(codec), nullptr);
  return FL_MESSAGE_CODEC_GET_CLASS(codec)->encode_message(codec, message, error);
}

FlValue* fl_message_codec_decode_message(FlMessageCodec* codec, GBytes* message, GError** error) {
  g_return_val_if_fail(FL_IS_MESSAGE_CODEC(codec), nullptr);
  g_return_val_if_fail(message != nullptr, nullptr);
  return FL_MESSAGE_CODEC_GET_CLASS(codec)->decode_message(codec, message, error);
}

namespace {

// Texts this long or longer that end a marked message are not copied.
constexpr size_t kKeptTextMinimum = 64 * 1024;

void WriteBytes(GByteArray* buffer, const void* data, size_t size) {
  g_byte_array_append(buffer, static_cast<const guint8*>(data), static_cast<guint>(size));
}

void WriteByte(GByteArray* buffer, uint8_t byte) { WriteBytes(buffer, &byte, 1); }

void WriteAlign(GByteArray* buffer, size_t alignment) {
  while (buffer->len % alignment != 0) WriteByte(buffer, 0);
}

void WriteTyped(GByteArray* buffer, uint8_t tag, FlValue* value, const void* elements,
                size_t element_size) {
  const size_t count = fl_value_get_length(value);
  WriteByte(buffer, tag);
  fl_standard_message_codec_write_size(nullptr, buffer, static_cast<uint32_t>(count));
  WriteAlign(buffer, element_size);
  WriteBytes(buffer, elements, count * element_size);
}

// A bounds-checked reader over one message.
class Reader {
 public:
  Reader(GBytes* buffer, size_t* offset) : offset_(offset) {
    gsize size = 0;
    data_ = static_cast<const uint8_t*>(g_bytes_get_data(buffer, &size));
    size_ = size;
  }

  bool readBytes(void* out, size_t count, GError** error) {
    if (*offset_ > size_ || count > size_ - *offset_) return outOfData(error);
    if (count != 0) std::memcpy(out, data_ + *offset_, count);
    *offset_ += count;
    return true;
  }

  bool align(size_t alignment, GError** error) {
    const size_t misalignment = *offset_ % alignment;
    if (misalignment == 0) return true;
    const size_t skip = alignment - misalignment;
    if (*offset_ > size_ || skip > size_ - *offset_) return outOfData(error);
    *offset_ += skip;
    return true;
  }

  bool readSize(uint32_t* size, GError** error) {
    uint8_t first = 0;
    if (!readBytes(&first, 1, error)) return false;
    if (first < 254) {
      *size = first;
      return true;
    }
    if (first == 254) {
      uint16_t value = 0;
      if (!readBytes(&value, sizeof value, error)) return false;
      *size = value;
      return true;
    }
    return readBytes(size, sizeof *size, error);
  }

  size_t remaining() const { return *offset_ > size_ ? 0 : size_ - *offset_; }
  const uint8_t* here() const { return data_ + *offset_; }
  void skip(size_t count) { *offset_ += count; }
  size_t* offset() const { return offset_; }

  static bool outOfData(GError** error) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA,
                "Unexpected end of data");
    return false;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t* offset_;
};

// Reads one nested value through the codec's class, so that a subclass sees
// every value of the message, at any depth.
FlValue* ReadNested(FlStandardMessageCodec* codec, GBytes* buffer, size_t* offset, GError** error) {
  return fl_standard_message_codec_read_value(codec, buffer, offset, error);
}

FlValue* ReadTyped(Reader& reader, FlValue* (*make)(const void*, size_t), size_t element_size,
                   GError** error) {
  uint32_t count = 0;
  if (!reader.readSize(&count, error) || !reader.align(element_size, error)) return nullptr;
  if (count > reader.remaining() / element_size) {
    Reader::outOfData(error);
    return nullptr;
  }
  FlValue* value = make(reader.here(), count);
  reader.skip(count * element_size);
  return value;
}

template <typename T, FlValue* (*New)(const T*, size_t)>
FlValue* MakeTyped(const void* data, size_t count) {
  // The elements may sit at any address in the message; copy them out first
  // when they are not aligned for T.
  if (reinterpret_cast<uintptr_t>(data) % alignof(T) == 0) {
    return New(static_cast<const T*>(data), count);
  }
  g_autofree T* copy = static_cast<T*>(g_malloc(count * sizeof(T) + 1));
  std::memcpy(copy, data, count * sizeof(T));
  return New(copy, count);
}

FlValue* ReadList(FlStandardMessageCodec* codec, GBytes* buffer, Reader& reader, GError** error) {
  uint32_t count = 0;
  if (!reader.readSize(&count, error)) return nullptr;
  // Every element takes at least one byte: a count beyond the rest of the
  // message is malformed, found before any work is done for it.
  if (count > reader.remaining()) {
    Reader::outOfData(error);
    return nullptr;
  }
  g_autoptr(FlValue) list = fl_value_new_list();
  for (uint32_t i = 0; i < count; ++i) {
    FlValue* element = ReadNested(codec, buffer, reader.offset(), error);
    if (element == nullptr) return nullptr;
    fl_value_append_take(list, element);
  }
  return static_cast<FlValue*>(g_steal_pointer(&list));
}

FlValue* ReadMap(FlStandardMessageCodec* codec, GBytes* buffer, Reader& reader, GError** error) {
  uint32_t count = 0;
  if (!reader.readSize(&count, error)) return nullptr;
  if (count > reader.remaining() / 2) {
    Reader::outOfData(error);
    return nullptr;
  }
  g_autoptr(FlValue) map = fl_value_new_map();
  // A repeated key keeps its first place and takes the last value. Keys are
  // found by hash, so a map of many entries decodes in linear time.
  std::unordered_multimap<size_t, size_t> index;
  for (uint32_t i = 0; i < count; ++i) {
    FlValue* key = ReadNested(codec, buffer, reader.offset(), error);
    if (key == nullptr) return nullptr;
    FlValue* value = ReadNested(codec, buffer, reader.offset(), error);
    if (value == nullptr) {
      fl_value_unref(key);
      return nullptr;
    }
    const size_t hash = fl_value_hash(key);
    bool replaced = false;
    auto [first, last] = index.equal_range(hash);
    for (auto it = first; it != last; ++it) {
      if (fl_value_equal(fl_value_get_map_key(map, it->second), key)) {
        fl_value_map_replace_value_take(map, it->second, value);
        fl_value_unref(key);
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      index.emplace(hash, fl_value_get_length(map));
      fl_value_map_append_take(map, key, value);
    }
  }
  return static_cast<FlValue*>(g_steal_pointer(&map));
}

}  // namespace

G_DEFINE_TYPE(FlStandardMessageCodec, fl_standard_message_codec, fl_message_codec_get_type())

static GBytes* fl_standard_message_codec_encode_message(FlMessageCodec* codec, FlValue* message,
                                                        GError** error) {
  g_autoptr(GByteArray) buffer = g_byte_array_new();
  g_autoptr(FlValue) null_value = fl_value_new_null();
  if (!fl_standard_message_codec_write_value(FL_STANDARD_MESSAGE_CODEC(codec), buffer,
                                             message != nullptr ? message : null_value, error)) {
    return nullptr;
  }
  return g_byte_array_free_to_bytes(static_cast<GByteArray*>(g_steal_pointer(&buffer)));
}

static FlValue* fl_standard_message_codec_decode_message(FlMessageCodec* codec, GBytes* message,
                                                         GError** error) {
  // No bytes at all is the null value.
  if (g_bytes_get_size(message) == 0) return fl_value_new_null();
  size_t offset = 0;
  g_autoptr(FlValue) value = fl_standard_message_codec_read_value(FL_STANDARD_MESSAGE_CODEC(codec),
                                                                  message, &offset, error);
  if (value == nullptr) return nullptr;
  if (offset != g_bytes_get_size(message)) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA,
                "Unused %zu bytes after the value", g_bytes_get_size(message) - offset);
    return nullptr;
  }
  return static_cast<FlValue*>(g_steal_pointer(&value));
}

static gboolean fl_standard_message_codec_real_write_value(FlStandardMessageCodec* codec,
                                                           GByteArray* buffer, FlValue* value,
                                                           GError** error) {
  switch (fl_value_get_type(value)) {
    case FL_VALUE_TYPE_NULL:
      WriteByte(buffer, kNull);
      return TRUE;
    case FL_VALUE_TYPE_BOOL:
      WriteByte(buffer, fl_value_get_bool(value) ? kTrue : kFalse);
      return TRUE;
    case FL_VALUE_TYPE_INT: {
      const int64_t number = fl_value_get_int(value);
      if (number >= INT32_MIN && number <= INT32_MAX) {
        const int32_t narrow = static_cast<int32_t>(number);
        WriteByte(buffer, kInt32);
        WriteBytes(buffer, &narrow, sizeof narrow);
      } else {
        WriteByte(buffer, kInt64);
        WriteBytes(buffer, &number, sizeof number);
      }
      return TRUE;
    }
    case FL_VALUE_TYPE_FLOAT: {
      const double number = fl_value_get_float(value);
      WriteByte(buffer, kFloat64);
      WriteAlign(buffer, 8);
      WriteBytes(buffer, &number, sizeof number);
      return TRUE;
    }
    case FL_VALUE_TYPE_STRING: {
      const size_t length = fl_value_string_length(value);
      WriteByte(buffer, kString);
      fl_standard_message_codec_write_size(nullptr, buffer, static_cast<uint32_t>(length));
      WriteBytes(buffer, fl_value_get_string(value), length);
      return TRUE;
    }
    case FL_VALUE_TYPE_UINT8_LIST:
      WriteTyped(buffer, kUint8List, value, fl_value_get_uint8_list(value), 1);
      return TRUE;
    case FL_VALUE_TYPE_INT32_LIST:
      WriteTyped(buffer, kInt32List, value, fl_value_get_int32_list(value), 4);
      return TRUE;
    case FL_VALUE_TYPE_INT64_LIST:
      WriteTyped(buffer, kInt64List, value, fl_value_get_int64_list(value), 8);
      return TRUE;
    case FL_VALUE_TYPE_FLOAT32_LIST:
      WriteTyped(buffer, kFloat32List, value, fl_value_get_float32_list(value), 4);
      return TRUE;
    case FL_VALUE_TYPE_FLOAT_LIST:
      WriteTyped(buffer, kFloat64List, value, fl_value_get_float_list(value), 8);
      return TRUE;
    case FL_VALUE_TYPE_LIST: {
      const size_t count = fl_value_get_length(value);
      WriteByte(buffer, kList);
      fl_standard_message_codec_write_size(nullptr, buffer, static_cast<uint32_t>(count));
      for (size_t i = 0; i < count; ++i) {
        if (!fl_standard_message_codec_write_value(codec, buffer, fl_value_get_list_value(value, i),
                                                   error)) {
          return FALSE;
        }
      }
      return TRUE;
    }
    case FL_VALUE_TYPE_MAP: {
      const size_t count = fl_value_get_length(value);
      WriteByte(buffer, kMap);
      fl_standard_message_codec_write_size(nullptr, buffer, static_cast<uint32_t>(count));
      for (size_t i = 0; i < count; ++i) {
        if (!fl_standard_message_codec_write_value(codec, buffer, fl_value_get_map_key(value, i),
                                                   error) ||
            !fl_standard_message_codec_write_value(codec, buffer, fl_value_get_map_value(value, i),
                                                   error)) {
          return FALSE;
        }
      }
      return TRUE;
    }
  }
  g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE,
              "Unexpected FlValue type %d", static_cast<int>(fl_value_get_type(value)));
  return FALSE;
}

static FlValue* fl_standard_message_codec_real_read_value_of_type(FlStandardMessageCodec* codec,
                                                                  GBytes* buffer, size_t* offset,
                                                                  int type, GError** error) {
  Reader reader(buffer, offset);
  switch (type) {
    case kNull:
      return fl_value_new_null();
    case kTrue:
      return fl_value_new_bool(true);
    case kFalse:
      return fl_value_new_bool(false);
    case kInt32: {
      int32_t value = 0;
      return reader.readBytes(&value, sizeof value, error) ? fl_value_new_int(value) : nullptr;
    }
    case kInt64: {
      int64_t value = 0;
      return reader.readBytes(&value, sizeof value, error) ? fl_value_new_int(value) : nullptr;
    }
    case kFloat64: {
      double value = 0;
      if (!reader.align(8, error) || !reader.readBytes(&value, sizeof value, error)) return nullptr;
      return fl_value_new_float(value);
    }
    case kLargeInt:
    case kString: {
      uint32_t size = 0;
      if (!reader.readSize(&size, error)) return nullptr;
      if (size > reader.remaining()) {
        Reader::outOfData(error);
        return nullptr;
      }
      const auto* text = reinterpret_cast<const gchar*>(reader.here());
      // A large text that ends a kept message is held where it lies: a label
      // document is held once, not twice, while its call is in flight.
      FlValue* value =
          size >= kKeptTextMinimum && size == reader.remaining() && IsKeptMessage(buffer)
              ? fl_value_new_string_in_bytes(buffer, text, size)
              : fl_value_new_string_sized(text, size);
      reader.skip(size);
      return value;
    }
    case kUint8List:
      return ReadTyped(reader, MakeTyped<uint8_t, fl_value_new_uint8_list>, 1, error);
    case kInt32List:
      return ReadTyped(reader, MakeTyped<int32_t, fl_value_new_int32_list>, 4, error);
    case kInt64List:
      return ReadTyped(reader, MakeTyped<int64_t, fl_value_new_int64_list>, 8, error);
    case kFloat64List:
      return ReadTyped(reader, MakeTyped<double, fl_value_new_float_list>, 8, error);
    case kFloat32List:
      return ReadTyped(reader, MakeTyped<float, fl_value_new_float32_list>, 4, error);
    case kList:
      return ReadList(codec, buffer, reader, error);
    case kMap:
      return ReadMap(codec, buffer, reader, error);
    default:
      g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE,
                  "Unexpected standard codec type %02x", type);
      return nullptr;
  }
}

static void fl_standard_message_codec_class_init(FlStandardMessageCodecClass* klass) {
  FL_MESSAGE_CODEC_CLASS(klass)->encode_message = fl_standard_message_codec_encode_message;
  FL_MESSAGE_CODEC_CLASS(klass)->decode_message = fl_standard_message_codec_decode_message;
  klass->write_value = fl_standard_message_codec_real_write_value;
  klass->read_value_of_type = fl_standard_message_codec_real_read_value_of_type;
}

static void fl_standard_message_codec_init(FlStandardMessageCodec*) {}

FlStandardMessageCodec* fl_standard_message_codec_new() {
  return FL_STANDARD_MESSAGE_CODEC(g_object_new(fl_standard_message_codec_get_type(), nullptr));
}

void fl_standard_message_codec_write_size(FlStandardMessageCodec*, GByteArray* buffer,
                                          uint32_t size) {
  g_return_if_fail(buffer != nullptr);
  if (size < 254) {
    WriteByte(buffer, static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    const uint16_t value = static_cast<uint16_t>(size);
    WriteByte(buffer, 254);
    WriteBytes(buffer, &value, sizeof value);
  } else {
    WriteByte(buffer, 255);
    WriteBytes(buffer, &size, sizeof size);
  }
}

gboolean fl_standard_message_codec_read_size(FlStandardMessageCodec*, GBytes* buffer,
                                             size_t* offset, uint32_t* value, GError** error) {
  g_return_val_if_fail(buffer != nullptr && offset != nullptr && value != nullptr, FALSE);
  Reader reader(buffer, offset);
  return reader.readSize(value, error);
}

gboolean fl_standard_message_codec_write_value(FlStandardMessageCodec* codec, GByteArray* buffer,
                                               FlValue* value, GError** error) {
  g_return_val_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(codec), FALSE);
  g_return_val_if_fail(buffer != nullptr && value != nullptr, FALSE);
  return FL_STANDARD_MESSAGE_CODEC_GET_CLASS(codec)->write_value(codec, buffer, value, error);
}

FlValue* fl_standard_message_codec_read_value(FlStandardMessageCodec* codec, GBytes* buffer,
                                              size_t* offset, GError** error) {
  g_return_val_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(codec), nullptr);
  g_return_val_if_fail(buffer != nullptr && offset != nullptr, nullptr);
  // Nesting is counted per thread across the class's recursion.
  static thread_local int depth = 0;
  if (depth > kStandardCodecMaxDepth) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_FAILED,
                "Values nested deeper than %d levels", kStandardCodecMaxDepth);
    return nullptr;
  }
  Reader reader(buffer, offset);
  uint8_t type = 0;
  if (!reader.readBytes(&type, 1, error)) return nullptr;
  ++depth;
  FlValue* value = FL_STANDARD_MESSAGE_CODEC_GET_CLASS(codec)->read_value_of_type(
      codec, buffer, offset, type, error);
  --depth;
  return value;
}
