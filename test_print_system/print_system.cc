#include "test_print_system/print_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "test_print_system/file_util.h"
#include "test_print_system/label_printer.h"

namespace corvella::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(30);

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

bool QueuePrinter::setMode(Mode mode) {
  return system_.runScript({"--printer", name_, "--mode", print_system::PrinterModeName(mode)});
}

PrintSystem::~PrintSystem() {
  if (script_.pid() > 0) script_.stop(std::chrono::seconds(20));
}

std::string PrintSystem::UnavailableReason() {
  for (const char* tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lpstat"}) {
    if (::access(tool, X_OK) != 0) {
      return std::string(tool) + " is missing: CUPS is not installed (run scripts/install-deps)";
    }
  }
  return "";
}

std::string PrintSystem::ScriptPath() { return CORVELLA_PRINT_SYSTEM_SCRIPT; }

bool PrintSystem::fail(const std::string& message) {
  error_ = message;
  return false;
}

bool PrintSystem::start() {
  if (script_.pid() > 0) return fail("already started");
  // Its output, NAME=VALUE lines and then READY, goes to a file: the
  // daemons it starts keep that output open, so a pipe would never end.
  std::string log = TemporaryRoot() + "/corvella-print-system-XXXXXX";
  const int log_fd = ::mkostemp(log.data(), O_CLOEXEC);
  if (log_fd < 0) return fail("mkostemp failed");
  SpawnOptions spawn;
  spawn.stdout_fd = log_fd;
  spawn.stderr_fd = log_fd;
  spawn.terminate_with_parent = true;
  std::string error;
  const bool started = script_.start({ScriptPath()}, spawn, &error);
  ::close(log_fd);
  if (!started) {
    ::unlink(log.c_str());
    return fail("cannot start " + ScriptPath() + ": " + error);
  }
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (output.find("READY\n") == std::string::npos && script_.running() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    output = ReadFile(log).value_or("");
  }
  ::unlink(log.c_str());
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("CUPS_SERVER=", 0) == 0) server_ = line.substr(12);
    if (line.rfind("CORVELLA_PRINT_DIR=", 0) == 0) directory_ = line.substr(19);
  }
  if (output.find("READY\n") == std::string::npos || server_.empty() || directory_.empty()) {
    script_.stop(std::chrono::seconds(10));
    return fail("the print system did not start: " + output);
  }
  environment_.emplace_back(std::make_unique<ScopedEnvironment>("CUPS_SERVER", server_.c_str()));
  environment_.emplace_back(
      std::make_unique<ScopedEnvironment>("CORVELLA_PRINT_DIR", directory_.c_str()));
  return true;
}

bool PrintSystem::run(const std::vector<std::string>& argv) {
  // The command's output goes to a file, not a pipe: a daemon it starts
  // keeps its output open, and a pipe would never end.
  std::string log = TemporaryRoot() + "/corvella-command-XXXXXX";
  const int log_fd = ::mkostemp(log.data(), O_CLOEXEC);
  if (log_fd < 0) return fail("mkostemp failed");
  ::unlink(log.c_str());
  SpawnOptions spawn;
  spawn.stdout_fd = spawn.stderr_fd = log_fd;
  ChildProcess command;
  std::string error;
  std::optional<int> status;
  if (command.start(argv, spawn, &error)) status = command.wait(std::chrono::seconds(120));
  std::string output(4096, '\0');
  const ssize_t n = ::pread(log_fd, output.data(), output.size(), 0);
  ::close(log_fd);
  output.resize(n > 0 ? static_cast<size_t>(n) : 0);
  if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return true;
  return fail(argv.front() + (error.empty() ? " failed" : ": " + error) + "\n" + output);
}

bool PrintSystem::runScript(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {ScriptPath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run(argv);
}

QueuePrinter* PrintSystem::addQueue(const std::string& name, Mode mode) {
  if (directory_.empty()) {
    fail("the print system has not been started");
    return nullptr;
  }
  if (printers_.count(name) != 0) {
    fail("queue " + name + " exists already");
    return nullptr;
  }
  if (!runScript({"--printer", name, "--mode", print_system::PrinterModeName(mode)})) {
    return nullptr;
  }
  auto& printer = printers_[name] = std::make_unique<QueuePrinter>(*this, name);
  return printer.get();
}

QueuePrinter* PrintSystem::printer(const std::string& name) {
  auto it = printers_.find(name);
  return it == printers_.end() ? nullptr : it->second.get();
}

bool PrintSystem::stopScheduler() { return runScript({"--stop-scheduler"}); }
bool PrintSystem::startScheduler() { return runScript({"--start-scheduler"}); }

pid_t PrintSystem::schedulerPid() const {
  return static_cast<pid_t>(
      std::strtol(ReadFile(directory_ + "/cupsd.pid").value_or("0").c_str(), nullptr, 10));
}

bool PrintSystem::setDefault(const std::string& name) {
  return run({"/usr/sbin/lpadmin", "-d", name});
}
bool PrintSystem::rejectQueue(const std::string& name, const std::string& reason) {
  return run({"/usr/sbin/cupsreject", "-r", reason, name});
}
bool PrintSystem::acceptQueue(const std::string& name) {
  return run({"/usr/sbin/cupsaccept", name});
}
bool PrintSystem::disableQueue(const std::string& name, const std::string& reason) {
  return run({"/usr/sbin/cupsdisable", "-r", reason, name});
}

}  // namespace corvella::testing
