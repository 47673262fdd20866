#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace corvella {

// A random (version 4, RFC 4122 variant) UUID.
class Uuid {
 public:
  using Bytes = std::array<uint8_t, 16>;

  // A new UUID from the kernel's random source (getrandom(2), waiting for
  // it to be seeded if need be). Nothing, with `reason` set, in the unlikely
  // case that the kernel gives no random bytes.
  static std::optional<Uuid> random(std::string& reason);

  // The UUID made of `bytes`, with the version and variant bits set.
  static Uuid fromBytes(Bytes bytes);

  // The 36-character standard form: upper-case hexadecimal digits in groups
  // of 8, 4, 4, 4 and 12, separated by "-".
  std::string text() const;

 private:
  explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

  Bytes bytes_;
};

}  // namespace corvella
