#include "test_print_system/label_printer_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "Runner/failure.h"
#include "test_print_system/job_directory.h"

namespace corvella::print_system {
namespace {

constexpr size_t kReadChunk = 64 * 1024;

void CloseFd(int& fd) {
  if (fd >= 0) {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    ::close(fd);
    fd = -1;
  }
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

LabelPrinterServer::LabelPrinterServer(LabelPrinterOptions options)
    : options_(std::move(options)) {}

LabelPrinterServer::~LabelPrinterServer() {
  dropAll();
  CloseFd(listen_fd_);
  CloseFd(signal_fd_);
}

bool LabelPrinterServer::fail(const std::string& what) {
  error_ = what;
  return false;
}

bool LabelPrinterServer::BlockTerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

uint64_t LabelPrinterServer::firstFreeJobNumber() const {
  const std::vector<uint64_t> numbers = JobNumbers(options_.jobs_directory);
  return numbers.empty() ? 1 : numbers.back() + 1;
}

bool LabelPrinterServer::writePortFile() {
  if (options_.port_file.empty()) return true;
  const std::string temp = options_.port_file + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail("cannot create " + temp + ": " + PosixErrorText(errno));
  const std::string text = std::to_string(port_) + "\n";
  bool ok = WriteAll(fd, text.data(), text.size());
  int saved = errno;
  CloseFd(fd);
  if (!ok) return fail("cannot write " + temp + ": " + PosixErrorText(saved));
  if (::rename(temp.c_str(), options_.port_file.c_str()) != 0) {
    return fail("cannot rename " + temp + ": " + PosixErrorText(errno));
  }
  return true;
}

bool LabelPrinterServer::open() {
  next_job_ = firstFreeJobNumber();

  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  signal_fd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signal_fd_ < 0) return fail("signalfd: " + PosixErrorText(errno));

  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) return fail("socket: " + PosixErrorText(errno));
  int one = 1;
  if (::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    return fail("setsockopt(SO_REUSEADDR): " + PosixErrorText(errno));
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options_.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return fail("cannot bind 127.0.0.1:" + std::to_string(options_.port) + ": " +
                PosixErrorText(errno));
  }
  socklen_t length = sizeof address;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return fail("getsockname: " + PosixErrorText(errno));
  }
  port_ = ntohs(address.sin_port);
  // In kDown mode the port stays bound but not listening, so a connection
  // attempt is refused and no other program can take the port meanwhile.
  if (options_.mode != PrinterMode::kDown && ::listen(listen_fd_, SOMAXCONN) != 0) {
    return fail("listen: " + PosixErrorText(errno));
  }
  return writePortFile();
}

bool LabelPrinterServer::acceptAll() {
  while (true) {
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      // Out of descriptors and the like: keep serving what is open.
      std::fprintf(stderr, "corvella-label-printer: accept: %s\n", PosixErrorText(errno).c_str());
      return true;
    }
    switch (options_.mode) {
      case PrinterMode::kClose:
        CloseFd(fd);
        break;
      case PrinterMode::kStall:
        held_.push_back(fd);
        break;
      case PrinterMode::kDown:  // not listening; cannot happen
        CloseFd(fd);
        break;
      case PrinterMode::kRecord: {
        Connection connection;
        const std::string name = JobFileName(next_job_++);
        connection.final_path = options_.jobs_directory + "/" + name;
        connection.part_path = options_.jobs_directory + "/." + name + ".part";
        connection.file_fd =
            ::open(connection.part_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (connection.file_fd < 0) {
          fatal_ = true;
          error_ = "cannot create " + connection.part_path + ": " + PosixErrorText(errno);
          CloseFd(fd);
          return false;
        }
        recording_.emplace(fd, std::move(connection));
        break;
      }
    }
  }
}

bool LabelPrinterServer::commit(int fd, Connection& connection) {
  int socket_fd = fd;
  CloseFd(socket_fd);
  if (::close(connection.file_fd) != 0 && errno != EINTR) {
    connection.file_fd = -1;
    fatal_ = true;
    error_ = "cannot write " + connection.part_path + ": " + PosixErrorText(errno);
    return false;
  }
  connection.file_fd = -1;
  if (::rename(connection.part_path.c_str(), connection.final_path.c_str()) != 0) {
    fatal_ = true;
    error_ = "cannot rename " + connection.part_path + ": " + PosixErrorText(errno);
    return false;
  }
  if (options_.render) {
    if (!pictures_)
      pictures_ = std::make_unique<LabelPictureWorker>(options_.dots_per_mm, options_.media);
    pictures_->add(connection.final_path);
  }
  return false;
}

bool LabelPrinterServer::readConnection(int fd, Connection& connection) {
  std::vector<char> buffer(kReadChunk);
  while (true) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n > 0) {
      if (!WriteAll(connection.file_fd, buffer.data(), static_cast<size_t>(n))) {
        fatal_ = true;
        error_ = "cannot write " + connection.part_path + ": " + PosixErrorText(errno);
        int socket_fd = fd;
        CloseFd(socket_fd);
        CloseFd(connection.file_fd);
        ::unlink(connection.part_path.c_str());
        return false;
      }
      continue;
    }
    if (n == 0) return commit(fd, connection);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    // A reset connection still ends the job: what arrived is what the
    // printer received.
    return commit(fd, connection);
  }
}

void LabelPrinterServer::dropAll() {
  for (auto& [fd, connection] : recording_) {
    int socket_fd = fd;
    CloseFd(socket_fd);
    CloseFd(connection.file_fd);
    ::unlink(connection.part_path.c_str());
  }
  recording_.clear();
  for (int& fd : held_) CloseFd(fd);
  held_.clear();
}

bool LabelPrinterServer::serve() {
  std::vector<pollfd> fds;
  while (!fatal_) {
    fds.clear();
    fds.push_back({signal_fd_, POLLIN, 0});
    if (options_.mode != PrinterMode::kDown) fds.push_back({listen_fd_, POLLIN, 0});
    for (const auto& entry : recording_) fds.push_back({entry.first, POLLIN, 0});
    int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return fail("poll: " + PosixErrorText(errno));
    }
    if (fds[0].revents != 0) {
      signalfd_siginfo info;
      ssize_t n;
      do {
        n = ::read(signal_fd_, &info, sizeof info);
      } while (n < 0 && errno == EINTR);
      if (n == static_cast<ssize_t>(sizeof info)) break;
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == listen_fd_) {
        acceptAll();
        continue;
      }
      auto it = recording_.find(fds[i].fd);
      if (it == recording_.end()) continue;
      if (!readConnection(it->first, it->second)) recording_.erase(it);
    }
  }
  // Connections still open at the end are not finished jobs: drop them.
  dropAll();
  // Stored jobs still get their pictures.
  pictures_.reset();
  return !fatal_;
}

}  // namespace corvella::print_system
