#pragma once

#include <unistd.h>

#include <utility>

namespace corvella {

// Owns one file descriptor and closes it when it goes away. Move-only.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives up the descriptor without closing it (its new owner closes it).
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes `fd`. close(2) is not
  // retried on EINTR: on Linux the descriptor is released either way.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace corvella
