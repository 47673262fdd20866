#include "private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "posix_error.h"

namespace corvella {

namespace {

// Pieces are gathered up to this size before they are written.
constexpr size_t kGatherSize = size_t{1} << 20;
// Linux moves at most about 2 GiB in one write(2); asking for less keeps
// each call's count well inside ssize_t.
constexpr size_t kMaxWrite = size_t{1} << 30;

std::string Failure(const char* what, const std::string& path, int error) {
  return std::string(what) + path + ": " + PosixErrorText(error);
}

}  // namespace

std::optional<PrivateFile> PrivateFile::create(const std::string& path, std::string& reason) {
  int fd;
  while ((fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)) <
             0 &&
         errno == EINTR) {
  }
  if (fd < 0) {
    reason = Failure("cannot create ", path, errno);
    return std::nullopt;
  }
  PrivateFile file(path, fd);
  // The umask may have taken bits from 0600; the owner needs both.
  if (::fchmod(fd, 0600) != 0) file.error_ = errno;
  return file;
}

PrivateFile::PrivateFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

PrivateFile::PrivateFile(PrivateFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      error_(other.error_),
      pending_(std::move(other.pending_)) {}

PrivateFile::~PrivateFile() { discard(); }

void PrivateFile::discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(path_.c_str());
}

void PrivateFile::append(std::string_view bytes) {
  if (error_ != 0 || fd_ < 0) return;
  if (pending_.size() + bytes.size() <= kGatherSize) {
    if (pending_.capacity() < kGatherSize) pending_.reserve(kGatherSize);
    pending_.append(bytes);
    return;
  }
  writeOut(pending_);
  pending_.clear();
  if (bytes.size() >= kGatherSize) {
    writeOut(bytes);
  } else {
    pending_.append(bytes);
  }
}

void PrivateFile::writeOut(std::string_view bytes) {
  size_t written = 0;
  while (error_ == 0 && written < bytes.size()) {
    const size_t count = std::min(bytes.size() - written, kMaxWrite);
    ssize_t n = ::write(fd_, bytes.data() + written, count);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n == 0) {
      error_ = EIO;
    } else if (errno != EINTR) {
      error_ = errno;
    }
  }
}

bool PrivateFile::finish(std::string& reason) {
  if (fd_ < 0) {
    reason = Failure("cannot write ", path_, EBADF);
    return false;
  }
  writeOut(pending_);
  pending_ = std::string();
  if (error_ != 0) {
    reason = Failure("cannot write ", path_, error_);
    discard();
    return false;
  }
  // A delayed write error (a full disk on a network file system) shows up
  // here. On Linux the descriptor is released whatever close returns, and
  // after EINTR the data have been handed over.
  const int closed = ::close(fd_);
  const int close_error = errno;
  fd_ = -1;
  if (closed != 0 && close_error != EINTR) {
    reason = Failure("cannot write ", path_, close_error);
    ::unlink(path_.c_str());
    return false;
  }
  return true;
}

bool writeNewPrivateFile(const std::string& path, std::string_view bytes, std::string& reason) {
  std::optional<PrivateFile> file = PrivateFile::create(path, reason);
  if (!file) return false;
  file->append(bytes);
  return file->finish(reason);
}

}  // namespace corvella
