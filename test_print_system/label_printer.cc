#include "test_print_system/label_printer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "test_print_system/file_util.h"
#include "test_print_system/job_directory.h"

namespace corvella::testing {
namespace {
constexpr auto kStartTimeout = std::chrono::seconds(10);
// The simulated printer built beside the tests.
const std::string kProgram = CORVELLA_LABEL_PRINTER_PROGRAM;
}  // namespace

LabelPrinter::~LabelPrinter() { stop(); }

bool LabelPrinter::fail(const std::string& message) {
  error_ = message;
  return false;
}

bool LabelPrinter::start(const std::string& jobs_directory, bool render) {
  if (process_.running()) return fail("already running");
  const std::string port_file = jobs_directory + "/.port";
  ::unlink(port_file.c_str());
  SpawnOptions spawn;
  spawn.terminate_with_parent = true;
  int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  spawn.stdout_fd = null_fd;
  std::string error;
  std::vector<std::string> arguments = {kProgram, "--jobs", jobs_directory, "--port-file",
                                        port_file};
  if (!render) arguments.push_back("--no-render");
  bool started = process_.start(arguments, spawn, &error);
  if (null_fd >= 0) ::close(null_fd);
  if (!started) return fail("cannot start " + kProgram + ": " + error);

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (true) {
    auto text = ReadFile(port_file);
    if (text && !text->empty()) {
      port_ = static_cast<uint16_t>(std::strtoul(text->c_str(), nullptr, 10));
      if (port_ != 0) return true;
    }
    if (!process_.running()) {
      return fail(kProgram + " exited at start (status " +
                  std::to_string(process_.status().value_or(-1)) + ")");
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      process_.stop();
      return fail(kProgram + " did not report its port");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool LabelPrinter::stop() {
  if (process_.pid() <= 0) return true;
  auto status = process_.stop(std::chrono::seconds(5));
  return status.has_value();
}

bool SendJob(uint16_t port, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool sent = fd >= 0 &&
                    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  if (fd >= 0) ::close(fd);
  return sent;
}

std::vector<std::string> ReadJobs(const std::string& jobs_directory) {
  std::vector<std::string> jobs;
  for (uint64_t number : print_system::JobNumbers(jobs_directory)) {
    // A job appears by rename once complete, so what is listed is whole.
    auto bytes = ReadFile(jobs_directory + "/" + print_system::JobFileName(number));
    if (bytes) jobs.push_back(std::move(*bytes));
  }
  return jobs;
}

std::vector<std::string> WaitForJobs(const std::string& jobs_directory, size_t count,
                                     std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (print_system::JobNumbers(jobs_directory).size() < count &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return ReadJobs(jobs_directory);
}

}  // namespace corvella::testing
