#include "test_print_system/label_printer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "process/failure.h"
#include "process/unique_fd.h"
#include "process/write_all.h"
#include "test_print_system/file_util.h"
#include "test_print_system/job_directory.h"

namespace corvella::testing {
namespace {
constexpr auto kStartTimeout = std::chrono::seconds(10);
// The simulated printer built beside the tests.
const std::string kProgram = CORVELLA_LABEL_PRINTER_PROGRAM;
}  // namespace

LabelPrinter::~LabelPrinter() { stop(); }

bool LabelPrinter::start(const std::string& jobs_directory, std::string& reason, bool render) {
  if (process_.running()) {
    reason = "the printer is running already";
    return false;
  }
  const std::string port_file = jobs_directory + "/.port";
  ::unlink(port_file.c_str());
  // The port it prints on its standard output is read from the port file.
  const UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!null.valid()) {
    reason = PosixFailure("cannot open /dev/null", errno);
    return false;
  }
  SpawnOptions spawn;
  spawn.terminate_with_parent = true;
  spawn.stdout_fd = null.get();
  std::vector<std::string> arguments = {kProgram, "--jobs", jobs_directory, "--port-file",
                                        port_file};
  if (!render) arguments.push_back("--no-render");
  if (!process_.start(arguments, spawn, reason)) return false;

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (true) {
    auto text = ReadFile(port_file);
    if (text && !text->empty()) {
      port_ = static_cast<uint16_t>(std::strtoul(text->c_str(), nullptr, 10));
      if (port_ != 0) return true;
    }
    if (!process_.running()) {
      reason = kProgram + " exited at start (status " +
               std::to_string(process_.status().value_or(-1)) + ")";
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      process_.stop();
      reason = kProgram + " did not report its port";
      return false;
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
  const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto connect = [&] {
    return ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  };
  int connected = connect();
  // An interrupted connect goes on; asking again tells when it is made.
  while (connected != 0 && (errno == EINTR || errno == EALREADY)) connected = connect();
  if (connected != 0 && errno != EISCONN) return false;
  return WriteAll(socket.get(), bytes);
}

std::vector<std::string> ReadJobs(const std::string& jobs_directory) {
  std::vector<std::string> jobs;
  for (uint64_t number : JobNumbers(jobs_directory)) {
    // A job appears by rename once complete, so what is listed is whole.
    auto bytes = ReadFile(jobs_directory + "/" + JobFileName(number));
    if (bytes) jobs.push_back(std::move(*bytes));
  }
  return jobs;
}

std::vector<std::string> WaitForJobs(const std::string& jobs_directory, size_t count,
                                     std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (JobNumbers(jobs_directory).size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return ReadJobs(jobs_directory);
}

}  // namespace corvella::testing
