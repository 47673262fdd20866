#include "uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "failure.h"

namespace corvella {

std::optional<Uuid> Uuid::random(std::string& reason) {
  Bytes bytes{};
  size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t n = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (n > 0) {
      filled += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      reason = PosixFailure("no random bytes for a UUID", errno);
      return std::nullopt;
    }
  }
  return fromBytes(bytes);
}

Uuid Uuid::fromBytes(Bytes bytes) {
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // variant 10xx
  return Uuid(bytes);
}

std::string Uuid::text() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kDigits[bytes_[i] >> 4]);
    text.push_back(kDigits[bytes_[i] & 0x0F]);
  }
  return text;
}

}  // namespace corvella
