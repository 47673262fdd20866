#include "test_print_system/label_printer_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "process/failure.h"
#include "test_print_system/job_directory.h"

namespace corvella::testing {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr std::string_view kHostStatus = "~HS";

// The signals that end serve(): SIGTERM, SIGINT and SIGHUP.
sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, number);
  return set;
}

// Sets `reason` and gives false: the failures below end the server.
bool Failed(std::string& reason, std::string what) {
  reason = std::move(what);
  return false;
}

}  // namespace

LabelPrinterServer::LabelPrinterServer(LabelPrinterOptions options)
    : options_(std::move(options)) {}

bool LabelPrinterServer::blockTerminationSignals() {
  const sigset_t set = TerminationSignals();
  return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

uint64_t LabelPrinterServer::firstFreeJobNumber() const {
  const std::vector<uint64_t> numbers = JobNumbers(options_.jobs_directory);
  return numbers.empty() ? 1 : numbers.back() + 1;
}

bool LabelPrinterServer::writePortFile(std::string& reason) {
  if (options_.port_file.empty()) return true;
  // Written whole under another name, then renamed: a reader sees the port
  // or nothing. A name left by a printer that was killed is its own.
  const std::string temp = options_.port_file + ".tmp";
  ::unlink(temp.c_str());
  if (!WriteNewPrivateFile(temp, std::to_string(port_) + "\n", reason)) return false;
  if (::rename(temp.c_str(), options_.port_file.c_str()) != 0) {
    return Failed(reason, PosixFailure("cannot rename " + temp, errno));
  }
  return true;
}

bool LabelPrinterServer::open(std::string& reason) {
  next_job_ = firstFreeJobNumber();

  const sigset_t set = TerminationSignals();
  signal_fd_.reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!signal_fd_.valid()) return Failed(reason, PosixFailure("signalfd", errno));

  listen_fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listen_fd_.valid()) return Failed(reason, PosixFailure("socket", errno));
  int one = 1;
  if (::setsockopt(listen_fd_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    return Failed(reason, PosixFailure("setsockopt(SO_REUSEADDR)", errno));
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options_.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return Failed(reason,
                  PosixFailure("cannot bind 127.0.0.1:" + std::to_string(options_.port), errno));
  }
  socklen_t length = sizeof address;
  if (::getsockname(listen_fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return Failed(reason, PosixFailure("getsockname", errno));
  }
  port_ = ntohs(address.sin_port);
  // In kDown mode the port stays bound but not listening, so a connection
  // attempt is refused and no other program can take the port meanwhile.
  if (options_.mode != PrinterMode::kDown && ::listen(listen_fd_.get(), SOMAXCONN) != 0) {
    return Failed(reason, PosixFailure("listen", errno));
  }
  return writePortFile(reason);
}

void LabelPrinterServer::acceptAll() {
  while (true) {
    UniqueFd socket(::accept4(listen_fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!socket.valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      // Out of descriptors and the like: keep serving what is open.
      std::fprintf(stderr, "corvella-label-printer: %s\n", PosixFailure("accept", errno).c_str());
      return;
    }
    switch (options_.mode) {
      case PrinterMode::kClose:
      case PrinterMode::kDown:  // not listening; cannot happen
        break;                  // the socket closes here
      case PrinterMode::kStall:
        held_.push_back(std::move(socket));
        break;
      case PrinterMode::kRecord: {
        const int fd = socket.get();
        recording_[fd].socket = std::move(socket);
        break;
      }
    }
  }
}

bool LabelPrinterServer::store(Connection& connection, std::string_view bytes,
                               std::string& reason) {
  if (!connection.file) {
    const std::string name = JobFileName(next_job_++);
    connection.part_path = options_.jobs_directory + "/." + name + ".part";
    connection.final_path = options_.jobs_directory + "/" + name;
    // A part left by a printer that was killed is of no job now.
    ::unlink(connection.part_path.c_str());
    std::optional<PrivateFile> file = PrivateFile::create(connection.part_path, reason);
    if (!file) return false;
    connection.file.emplace(std::move(*file));
  }
  return bytes.empty() || connection.file->append(bytes, reason);
}

bool LabelPrinterServer::take(Connection& connection, std::string_view bytes, std::string& reason) {
  if (!connection.told) {
    const size_t count = std::min(kHostStatus.size() - connection.opening.size(), bytes.size());
    connection.opening.append(bytes.substr(0, count));
    bytes.remove_prefix(count);
    if (connection.opening.size() < kHostStatus.size() &&
        kHostStatus.substr(0, connection.opening.size()) == connection.opening) {
      return true;  // not told apart yet
    }
    connection.told = true;
    if (connection.opening == kHostStatus) {
      connection.status_query = true;
      connection.opening.clear();
      answerHostStatus(connection);
    } else if (!store(connection, std::exchange(connection.opening, {}), reason)) {
      return false;
    }
  }
  return bytes.empty() || store(connection, bytes, reason);
}

// Three status strings, each framed by STX and ETX and ended by CR LF: the
// first carries the paper-out flag (its second field) and the label length
// in dots, the second the head-up flag (its third field).
void LabelPrinterServer::answerHostStatus(const Connection& connection) const {
  const int label_dots = static_cast<int>(options_.media.height_mm * options_.dots_per_mm + 0.5);
  char reply[160];
  const int length = std::snprintf(reply, sizeof reply,
                                   "\x02"
                                   "030,%d,0,%04d,000,0,0,0,000,0,0,0\x03\r\n"
                                   "\x02"
                                   "001,0,%d,0,0,2,6,0,00000000,1,000\x03\r\n"
                                   "\x02"
                                   "1234,0\x03\r\n",
                                   options_.condition.out_of_labels ? 1 : 0, label_dots,
                                   options_.condition.head_open ? 1 : 0);
  // A few bytes on a fresh connection: the socket buffer takes them whole. A
  // client that has gone gets nothing (and no SIGPIPE).
  ssize_t sent;
  do {
    sent = ::send(connection.socket.get(), reply, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
}

bool LabelPrinterServer::commit(Connection& connection, std::string& reason) {
  connection.socket.reset();
  // A connection that ended before its opening was told apart, or sent no
  // byte at all, is a job all the same; a status query alone is none.
  if (!connection.status_query && !store(connection, connection.opening, reason)) {
    fatal_ = true;
    return false;
  }
  if (!connection.file) return false;
  if (!connection.file->finish(reason)) {
    fatal_ = true;
    return false;
  }
  if (::rename(connection.part_path.c_str(), connection.final_path.c_str()) != 0) {
    fatal_ = true;
    return Failed(reason, PosixFailure("cannot rename " + connection.part_path, errno));
  }
  if (options_.render) {
    if (!pictures_)
      pictures_ = std::make_unique<LabelPictureWorker>(options_.dots_per_mm, options_.media);
    pictures_->add(connection.final_path);
  }
  return false;
}

bool LabelPrinterServer::readConnection(Connection& connection, std::string& reason) {
  std::vector<char> buffer(kReadChunk);
  while (true) {
    ssize_t n = ::read(connection.socket.get(), buffer.data(), buffer.size());
    if (n > 0) {
      if (!take(connection, std::string_view(buffer.data(), static_cast<size_t>(n)), reason)) {
        fatal_ = true;
        return false;
      }
      continue;
    }
    if (n == 0) return commit(connection, reason);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    // A reset connection still ends the job: what arrived is what the
    // printer received.
    return commit(connection, reason);
  }
}

bool LabelPrinterServer::serve(std::string& reason) {
  std::vector<pollfd> fds;
  while (!fatal_) {
    fds.clear();
    fds.push_back({signal_fd_.get(), POLLIN, 0});
    if (options_.mode != PrinterMode::kDown) fds.push_back({listen_fd_.get(), POLLIN, 0});
    for (const auto& entry : recording_) fds.push_back({entry.first, POLLIN, 0});
    int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Failed(reason, PosixFailure("poll", errno));
    }
    if (fds[0].revents != 0) {
      signalfd_siginfo info;
      ssize_t n;
      do {
        n = ::read(signal_fd_.get(), &info, sizeof info);
      } while (n < 0 && errno == EINTR);
      if (n == static_cast<ssize_t>(sizeof info)) break;
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == listen_fd_.get()) {
        acceptAll();
        continue;
      }
      auto it = recording_.find(fds[i].fd);
      if (it == recording_.end()) continue;
      if (!readConnection(it->second, reason)) recording_.erase(it);
    }
  }
  // Connections still open at the end are not finished jobs: dropping them
  // removes their parts.
  recording_.clear();
  held_.clear();
  // Stored jobs still get their pictures.
  pictures_.reset();
  return !fatal_;
}

}  // namespace corvella::testing
