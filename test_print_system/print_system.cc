#include "test_print_system/print_system.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "process/failure.h"
#include "process/unique_fd.h"
#include "submission/temporary_directory.h"
#include "test_print_system/file_util.h"
#include "test_print_system/label_printer.h"

namespace corvella::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(30);

// A file with no name for a child's output. Not a pipe: the daemons the
// script starts keep its output open, so a pipe would never reach its end.
std::optional<UniqueFd> OutputFile(std::string& reason) {
  std::string path = PathInDirectory(TemporaryDirectory(), "corvella-output-XXXXXX");
  UniqueFd fd(::mkostemp(path.data(), O_CLOEXEC));
  if (!fd.valid()) {
    reason = PosixFailure("cannot create " + path, errno);
    return std::nullopt;
  }
  ::unlink(path.c_str());
  return fd;
}

// What has been written to the output file `fd` so far.
std::string OutputText(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) != 0;) {
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
    } else if (errno != EINTR) {
      break;
    }
  }
  return text;
}

// The child's standard output and standard error go to `output`.
SpawnOptions ToOutputFile(const UniqueFd& output) {
  SpawnOptions spawn;
  spawn.stdout_fd = spawn.stderr_fd = output.get();
  return spawn;
}

}  // namespace

QueuePrinter::QueuePrinter(PrintSystem& system, std::string name)
    : system_(system),
      name_(std::move(name)),
      directory_(system.directory() + "/printers/" + name_) {}

std::vector<std::string> QueuePrinter::jobs() const { return ReadJobs(directory_); }

std::vector<std::string> QueuePrinter::waitForJobs(size_t count,
                                                   std::chrono::milliseconds timeout) const {
  return WaitForJobs(directory_, count, timeout);
}

bool QueuePrinter::setMode(Mode mode, std::string& reason) {
  return system_.runScript({"--printer", name_, "--mode", PrinterModeName(mode)}, reason);
}

bool QueuePrinter::setCondition(const std::string& condition, std::string& reason) {
  return system_.runScript({"--printer", name_, "--condition", condition}, reason);
}

PrintSystem::~PrintSystem() {
  if (script_.pid() > 0) script_.stop(std::chrono::seconds(20));
}

bool PrintSystem::available(std::string& reason) {
  for (const char* tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lpstat"}) {
    if (::access(tool, X_OK) != 0) {
      reason = std::string(tool) + " is missing: CUPS is not installed (run scripts/install-deps)";
      return false;
    }
  }
  return true;
}

std::string PrintSystem::scriptPath() { return CORVELLA_PRINT_SYSTEM_SCRIPT; }

bool PrintSystem::start(std::string& reason, const std::vector<std::string>& options) {
  if (script_.pid() > 0) {
    reason = "the print system is started already";
    return false;
  }
  // Its output is NAME=VALUE lines and then READY.
  std::optional<UniqueFd> log = OutputFile(reason);
  if (!log) return false;
  SpawnOptions spawn = ToOutputFile(*log);
  spawn.terminate_with_parent = true;
  std::vector<std::string> argv = {scriptPath()};
  argv.insert(argv.end(), options.begin(), options.end());
  if (!script_.start(argv, spawn, reason)) return false;
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (output.find("READY\n") == std::string::npos && script_.running() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    output = OutputText(log->get());
  }
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("CUPS_SERVER=", 0) == 0) server_ = line.substr(12);
    if (line.rfind("CORVELLA_PRINT_DIR=", 0) == 0) directory_ = line.substr(19);
  }
  if (output.find("READY\n") == std::string::npos || server_.empty() || directory_.empty()) {
    script_.stop(std::chrono::seconds(10));
    reason = "the print system did not start: " + output;
    return false;
  }
  environment_.emplace_back(std::make_unique<ScopedEnvironment>("CUPS_SERVER", server_.c_str()));
  environment_.emplace_back(
      std::make_unique<ScopedEnvironment>("CORVELLA_PRINT_DIR", directory_.c_str()));
  return true;
}

bool PrintSystem::run(const std::vector<std::string>& argv, std::string& reason) {
  std::optional<UniqueFd> log = OutputFile(reason);
  if (!log) return false;
  DaemonProcess command;
  if (!command.start(argv, ToOutputFile(*log), reason)) return false;
  const std::optional<int> status = command.wait(std::chrono::seconds(120));
  if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return true;
  reason = argv.front() + (status ? " failed:\n" : " did not finish in time:\n") +
           OutputText(log->get()).substr(0, 4096);
  return false;
}

bool PrintSystem::runScript(const std::vector<std::string>& arguments, std::string& reason) {
  std::vector<std::string> argv = {scriptPath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run(argv, reason);
}

QueuePrinter* PrintSystem::addQueue(const std::string& name, std::string& reason, Mode mode) {
  if (directory_.empty()) {
    reason = "the print system has not been started";
    return nullptr;
  }
  if (printers_.count(name) != 0) {
    reason = "queue " + name + " exists already";
    return nullptr;
  }
  if (!runScript({"--printer", name, "--mode", PrinterModeName(mode)}, reason)) {
    return nullptr;
  }
  auto& printer = printers_[name] = std::make_unique<QueuePrinter>(*this, name);
  return printer.get();
}

QueuePrinter* PrintSystem::printer(const std::string& name) {
  auto it = printers_.find(name);
  return it == printers_.end() ? nullptr : it->second.get();
}

bool PrintSystem::stopScheduler(std::string& reason) {
  return runScript({"--stop-scheduler"}, reason);
}
bool PrintSystem::startScheduler(std::string& reason) {
  return runScript({"--start-scheduler"}, reason);
}

pid_t PrintSystem::schedulerPid() const {
  return static_cast<pid_t>(
      std::strtol(ReadFile(directory_ + "/cupsd.pid").value_or("0").c_str(), nullptr, 10));
}

bool PrintSystem::setDefault(const std::string& name, std::string& reason) {
  return run({"/usr/sbin/lpadmin", "-d", name}, reason);
}
bool PrintSystem::rejectQueue(const std::string& name, const std::string& why,
                              std::string& reason) {
  return run({"/usr/sbin/cupsreject", "-r", why, name}, reason);
}
bool PrintSystem::acceptQueue(const std::string& name, std::string& reason) {
  return run({"/usr/sbin/cupsaccept", name}, reason);
}
bool PrintSystem::disableQueue(const std::string& name, const std::string& why,
                               std::string& reason) {
  return run({"/usr/sbin/cupsdisable", "-r", why, name}, reason);
}

}  // namespace corvella::testing
