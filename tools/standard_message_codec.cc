#include "tools/standard_message_codec.h"

#include <cstring>
#include <string>
#include <type_traits>

#include "engine/standard_codec_tags.h"

std::vector<uint8_t> StandardMessageCodec::Encode(const EncodableValue& value) {
  std::vector<uint8_t> out;
  CodecWriter(&out).WriteValue(value);
  return out;
}

std::optional<EncodableValue> StandardMessageCodec::Decode(const uint8_t* data, size_t size) {
  CodecReader reader(data, size);
  std::optional<EncodableValue> value = reader.ReadValue();
  if (!value || !reader.AtEnd()) return std::nullopt;
  return value;
}

void CodecWriter::WriteBytes(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  out_->insert(out_->end(), bytes, bytes + size);
}

void CodecWriter::WriteSize(size_t size) {
  if (size < 254) {
    WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    WriteByte(254);
    uint16_t value = static_cast<uint16_t>(size);
    WriteBytes(&value, sizeof value);
  } else {
    WriteByte(255);
    uint32_t value = static_cast<uint32_t>(size);
    WriteBytes(&value, sizeof value);
  }
}

void CodecWriter::Align(size_t alignment) {
  while (out_->size() % alignment != 0) WriteByte(0);
}

template <typename T>
void CodecWriter::WriteTyped(uint8_t tag, const std::vector<T>& elements, size_t alignment) {
  WriteByte(tag);
  WriteSize(elements.size());
  Align(alignment);
  WriteBytes(elements.data(), elements.size() * sizeof(T));
}

void CodecWriter::WriteValue(const EncodableValue& value) {
  std::visit(
      [this](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          WriteByte(kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          WriteByte(v ? kTrue : kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          WriteByte(kInt32);
          WriteBytes(&v, sizeof v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          WriteByte(kInt64);
          WriteBytes(&v, sizeof v);
        } else if constexpr (std::is_same_v<T, double>) {
          WriteByte(kFloat64);
          Align(8);
          WriteBytes(&v, sizeof v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          WriteByte(kString);
          WriteSize(v.size());
          WriteBytes(v.data(), v.size());
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          WriteTyped(kUint8List, v, 1);
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          WriteTyped(kInt32List, v, 4);
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          WriteTyped(kInt64List, v, 8);
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          WriteTyped(kFloat64List, v, 8);
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          WriteTyped(kFloat32List, v, 4);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          WriteByte(kList);
          WriteSize(v.size());
          for (const auto& element : v) WriteValue(element);
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          WriteByte(kMap);
          WriteSize(v.size());
          for (const auto& [key, element] : v) {
            WriteValue(key);
            WriteValue(element);
          }
        }
      },
      static_cast<const EncodableVariant&>(value));
}

bool CodecReader::ReadByte(uint8_t* byte) { return ReadBytes(byte, 1); }

bool CodecReader::ReadBytes(void* out, size_t size) {
  if (size > size_ - pos_) return false;
  if (size != 0) std::memcpy(out, data_ + pos_, size);
  pos_ += size;
  return true;
}

bool CodecReader::ReadSize(size_t* size) {
  uint8_t first;
  if (!ReadByte(&first)) return false;
  if (first < 254) {
    *size = first;
    return true;
  }
  if (first == 254) {
    uint16_t value;
    if (!ReadBytes(&value, sizeof value)) return false;
    *size = value;
    return true;
  }
  uint32_t value;
  if (!ReadBytes(&value, sizeof value)) return false;
  *size = value;
  return true;
}

bool CodecReader::Align(size_t alignment) {
  size_t misalignment = pos_ % alignment;
  if (misalignment == 0) return true;
  size_t skip = alignment - misalignment;
  if (skip > size_ - pos_) return false;
  pos_ += skip;
  return true;
}

template <typename T>
std::optional<EncodableValue> CodecReader::ReadTyped(size_t alignment) {
  size_t count;
  if (!ReadSize(&count) || !Align(alignment)) return std::nullopt;
  if (count > (size_ - pos_) / sizeof(T)) return std::nullopt;
  std::vector<T> elements(count);
  if (!ReadBytes(elements.data(), count * sizeof(T))) return std::nullopt;
  return EncodableValue(std::move(elements));
}

std::optional<EncodableValue> CodecReader::ReadValue(int depth) {
  if (depth > StandardMessageCodec::kMaxDepth) return std::nullopt;
  uint8_t tag;
  if (!ReadByte(&tag)) return std::nullopt;
  switch (tag) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32: {
      int32_t v;
      if (!ReadBytes(&v, sizeof v)) return std::nullopt;
      return EncodableValue(v);
    }
    case kInt64: {
      int64_t v;
      if (!ReadBytes(&v, sizeof v)) return std::nullopt;
      return EncodableValue(v);
    }
    case kFloat64: {
      double v;
      if (!Align(8) || !ReadBytes(&v, sizeof v)) return std::nullopt;
      return EncodableValue(v);
    }
    case kLargeInt:
    case kString: {
      size_t size;
      if (!ReadSize(&size) || size > size_ - pos_) return std::nullopt;
      std::string text(reinterpret_cast<const char*>(data_ + pos_), size);
      pos_ += size;
      return EncodableValue(std::move(text));
    }
    case kUint8List:
      return ReadTyped<uint8_t>(1);
    case kInt32List:
      return ReadTyped<int32_t>(4);
    case kInt64List:
      return ReadTyped<int64_t>(8);
    case kFloat64List:
      return ReadTyped<double>(8);
    case kFloat32List:
      return ReadTyped<float>(4);
    case kList: {
      size_t count;
      // Every element takes at least one byte, so a count beyond the rest of
      // the buffer is malformed; checking first keeps a hostile size from
      // reserving gigabytes.
      if (!ReadSize(&count) || count > size_ - pos_) return std::nullopt;
      EncodableList list;
      list.reserve(count);
      for (size_t i = 0; i < count; ++i) {
        std::optional<EncodableValue> element = ReadValue(depth + 1);
        if (!element) return std::nullopt;
        list.push_back(std::move(*element));
      }
      return EncodableValue(std::move(list));
    }
    case kMap: {
      size_t count;
      if (!ReadSize(&count) || count > (size_ - pos_) / 2) return std::nullopt;
      EncodableMap map;
      for (size_t i = 0; i < count; ++i) {
        std::optional<EncodableValue> key = ReadValue(depth + 1);
        if (!key) return std::nullopt;
        std::optional<EncodableValue> element = ReadValue(depth + 1);
        if (!element) return std::nullopt;
        map.insert_or_assign(std::move(*key), std::move(*element));
      }
      return EncodableValue(std::move(map));
    }
    default:
      return std::nullopt;
  }
}
