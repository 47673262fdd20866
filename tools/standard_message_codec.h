#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/encodable_value.h"

// Byte-exact reader and writer of the app engine's standard message format
// (little-endian). Encoding never fails. Decoding is total: a truncated buffer,
// an unknown tag, a size past the end, nesting deeper than kMaxDepth or
// trailing bytes give std::nullopt, and no byte outside the buffer is read.
class StandardMessageCodec {
 public:
  static constexpr int kMaxDepth = 512;

  static std::vector<uint8_t> Encode(const EncodableValue& value);
  static std::optional<EncodableValue> Decode(const uint8_t* data, size_t size);
  static std::optional<EncodableValue> Decode(const std::vector<uint8_t>& bytes) {
    return Decode(bytes.data(), bytes.size());
  }
};

// Sequential writer. Padding is counted from the start of the buffer, so a
// writer shared by several values keeps the alignment of the whole message.
class CodecWriter {
 public:
  explicit CodecWriter(std::vector<uint8_t>* out) : out_(out) {}
  void WriteValue(const EncodableValue& value);
  void WriteByte(uint8_t byte) { out_->push_back(byte); }

 private:
  void WriteSize(size_t size);
  void WriteBytes(const void* data, size_t size);
  void Align(size_t alignment);
  template <typename T>
  void WriteTyped(uint8_t tag, const std::vector<T>& elements, size_t alignment);

  std::vector<uint8_t>* out_;
};

// Sequential bounds-checked reader over one message buffer.
class CodecReader {
 public:
  CodecReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::optional<EncodableValue> ReadValue(int depth = 0);
  bool ReadByte(uint8_t* byte);
  bool AtEnd() const { return pos_ == size_; }

 private:
  bool ReadSize(size_t* size);
  bool ReadBytes(void* out, size_t size);
  bool Align(size_t alignment);
  template <typename T>
  std::optional<EncodableValue> ReadTyped(size_t alignment);

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
