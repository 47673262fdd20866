#include "submission/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "process/failure.h"
#include "process/write_all.h"

namespace corvella {

namespace {

// Pieces are gathered up to this size before they are written.
constexpr size_t kGatherSize = size_t{1} << 20;

}  // namespace

std::optional<PrivateFile> PrivateFile::create(const std::string& path, std::string& reason) {
  int fd;
  while ((fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)) <
             0 &&
         errno == EINTR) {
  }
  if (fd < 0) {
    reason = PosixFailure("cannot create " + path, errno);
    return std::nullopt;
  }
  PrivateFile file(path, UniqueFd(fd));
  // The umask may have taken bits from 0600; the owner needs both.
  if (::fchmod(fd, 0600) != 0) {
    file.fail(errno, reason);
    return std::nullopt;
  }
  return file;
}

PrivateFile::~PrivateFile() {
  // Not finished: no reader may take a part of the bytes for the whole.
  if (fd_.valid()) {
    fd_.reset();
    ::unlink(path_.c_str());
  }
}

bool PrivateFile::fail(int error, std::string& reason) {
  reason = PosixFailure("cannot write " + path_, error);
  fd_.reset();
  ::unlink(path_.c_str());
  return false;
}

bool PrivateFile::append(std::string_view bytes, std::string& reason) {
  if (!fd_.valid()) return fail(EBADF, reason);
  if (pending_.size() + bytes.size() <= kGatherSize) {
    if (pending_.capacity() < kGatherSize) pending_.reserve(kGatherSize);
    pending_.append(bytes);
    return true;
  }
  if (!writeOut(pending_, reason)) return false;
  pending_.clear();
  if (bytes.size() >= kGatherSize) return writeOut(bytes, reason);
  pending_.append(bytes);
  return true;
}

bool PrivateFile::writeOut(std::string_view bytes, std::string& reason) {
  return WriteAll(fd_.get(), bytes) || fail(errno, reason);
}

std::optional<UniqueFd> PrivateFile::finish(std::string& reason) {
  if (!fd_.valid()) {
    fail(EBADF, reason);
    return std::nullopt;
  }
  if (!writeOut(pending_, reason)) return std::nullopt;
  pending_ = std::string();
  // The same file, opened again through the descriptor rather than by name:
  // whatever has happened to the name since, this reads these bytes.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
  int reader;
  while ((reader = ::open(self.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
  }
  if (reader < 0) {
    reason = PosixFailure("cannot open " + path_ + " again", errno);
    fd_.reset();
    return std::nullopt;
  }
  UniqueFd read_end(reader);
  // A delayed write error (a full disk on a network file system) shows up
  // here. On Linux the descriptor is released whatever close returns, and
  // after EINTR the data have been handed over.
  const int closed = ::close(fd_.get());
  const int close_error = errno;
  fd_.release();
  if (closed != 0 && close_error != EINTR) {
    reason = PosixFailure("cannot write " + path_, close_error);
    ::unlink(path_.c_str());
    return std::nullopt;
  }
  return read_end;
}

bool WriteNewPrivateFile(const std::string& path, std::string_view bytes, std::string& reason) {
  std::optional<PrivateFile> file = PrivateFile::create(path, reason);
  return file && file->append(bytes, reason) && file->finish(reason).has_value();
}

}  // namespace corvella
