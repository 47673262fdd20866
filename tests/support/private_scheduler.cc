#include "tests/support/private_scheduler.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/command_runner.h"
#include "tests/support/file_util.h"
#include "tests/support/process_table.h"

namespace corvella::testing {
namespace {

constexpr const char* kLpadmin = "/usr/sbin/lpadmin";
constexpr const char* kLpstat = "/usr/bin/lpstat";

}  // namespace

PrivateScheduler::PrivateScheduler() : PrivateScheduler(Options{}) {}

PrivateScheduler::PrivateScheduler(Options options) : options_(options) {}

PrivateScheduler::~PrivateScheduler() { shutDown(); }

void PrivateScheduler::shutDown() {
  stop();
  directory_.remove();
  server_.clear();
  if (exported_) {
    if (previous_cups_server_) {
      ::setenv("CUPS_SERVER", previous_cups_server_->c_str(), 1);
    } else {
      ::unsetenv("CUPS_SERVER");
    }
    exported_ = false;
    previous_cups_server_.reset();
  }
}

std::string PrivateScheduler::UnavailableReason() {
  if (::access(kCupsd, X_OK) != 0) {
    return std::string(kCupsd) +
           " is missing: the CUPS scheduler is not installed (run scripts/install-deps)";
  }
  for (const char* tool : {kLpadmin, kLpstat}) {
    if (::access(tool, X_OK) != 0) {
      return std::string(tool) + " is missing (run scripts/install-deps)";
    }
  }
  return "";
}

bool PrivateScheduler::fail(const std::string& message) {
  error_ = message;
  return false;
}

bool PrivateScheduler::writeConfiguration() {
  const std::string& dir = directory_.path();
  const std::string cupsd_conf =
      "LogLevel debug\n"
      "Listen " +
      server_ +
      "\n"
      "Browsing Off\n"
      "MaxJobs 0\n"
      "WebInterface No\n"
      "DefaultAuthType None\n"
      "<Location />\n"
      "  Order allow,deny\n"
      "  Allow all\n"
      "</Location>\n"
      "<Policy default>\n"
      "  <Limit All>\n"
      "    Order allow,deny\n"
      "    Allow all\n"
      "  </Limit>\n"
      "</Policy>\n";
  const std::string files_conf = "ServerRoot " + dir +
                                 "\n"
                                 "RequestRoot " +
                                 dir +
                                 "/spool\n"
                                 "CacheDir " +
                                 dir +
                                 "/cache\n"
                                 "StateDir " +
                                 dir +
                                 "/state\n"
                                 "TempDir " +
                                 dir +
                                 "/tmp\n"
                                 "AccessLog " +
                                 dir +
                                 "/access_log\n"
                                 "ErrorLog " +
                                 dir +
                                 "/error_log\n"
                                 "PageLog " +
                                 dir +
                                 "/page_log\n"
                                 "ServerBin /usr/lib/cups\n"
                                 "DataDir /usr/share/cups\n"
                                 "FileDevice Yes\n"
                                 "Sandboxing Relaxed\n";
  // cupsd refuses to start when its TempDir is missing.
  if (::mkdir((dir + "/tmp").c_str(), 0755) != 0 && errno != EEXIST) {
    return fail("mkdir " + dir + "/tmp: " + std::strerror(errno));
  }
  if (!WriteFile(dir + "/cupsd.conf", cupsd_conf) ||
      !WriteFile(dir + "/cups-files.conf", files_conf)) {
    return fail("cannot write the configuration in " + dir + ": " + std::strerror(errno));
  }
  return true;
}

bool PrivateScheduler::start() {
  if (running()) return true;
  std::string reason = UnavailableReason();
  if (!reason.empty()) return fail(reason);
  if (directory_.empty()) {
    std::string error;
    if (!directory_.create("corvella-cups", &error)) return fail(error);
    server_ = directory_.path() + "/cups.sock";
    if (server_.size() >= sizeof(sockaddr_un::sun_path)) {
      return fail("socket path too long: " + server_ + " (set TMPDIR to a shorter directory)");
    }
  }
  if (!writeConfiguration()) return false;

  SpawnOptions spawn;
  spawn.terminate_with_parent = true;
  std::string error;
  const std::string dir = directory_.path();
  if (!cupsd_.start({kCupsd, "-f", "-c", dir + "/cupsd.conf", "-s", dir + "/cups-files.conf"},
                    spawn, &error)) {
    return fail("cannot start " + std::string(kCupsd) + ": " + error);
  }
  if (options_.export_cups_server) {
    if (!exported_) {
      const char* previous = std::getenv("CUPS_SERVER");
      if (previous) previous_cups_server_ = previous;
      exported_ = true;
    }
    ::setenv("CUPS_SERVER", server_.c_str(), 1);
  }
  if (!waitUntilReady()) {
    std::string message = error_;
    stop();
    return fail(message);
  }
  return true;
}

bool PrivateScheduler::waitUntilReady() {
  const auto deadline = std::chrono::steady_clock::now() + options_.start_timeout;
  CommandOptions quick;
  quick.timeout = std::chrono::seconds(5);
  while (true) {
    CommandResult answer = RunCommand({kLpstat, "-h", server_, "-r"}, quick);
    if (answer.succeeded() && answer.out == "scheduler is running\n") return true;
    if (!cupsd_.running()) {
      return fail("cupsd exited during start-up (status " +
                  std::to_string(cupsd_.status().value_or(-1)) + "); error_log:\n" +
                  errorLogTail());
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return fail("cupsd did not answer within the start-up deadline; last lpstat -r: " +
                  Describe(answer) + "; error_log:\n" + errorLogTail());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool PrivateScheduler::stop() {
  if (cupsd_.pid() > 0) cupsd_.stop(std::chrono::seconds(10));
  if (directory_.empty()) return true;
  // cupsd stops its backends on SIGTERM; one that survived (cupsd killed,
  // or a backend ignoring the signal) carries DIR in its environment.
  auto leftovers = ProcessesWithEnvironment("CUPS_SERVERROOT=" + directory_.path());
  if (!leftovers.empty() && !KillAndAwait(leftovers)) {
    return fail("processes of the scheduler in " + directory_.path() + " would not die");
  }
  return true;
}

bool PrivateScheduler::running() { return cupsd_.running(); }

bool PrivateScheduler::admin(const std::vector<std::string>& argv) {
  if (server_.empty()) return fail("the scheduler has not been started");
  CommandResult result = RunCommand(argv);
  if (!result.succeeded()) {
    std::string line;
    for (const std::string& arg : argv) line += (line.empty() ? "" : " ") + arg;
    return fail(line + ": " + Describe(result));
  }
  return true;
}

bool PrivateScheduler::addQueue(const std::string& name, const std::string& device_uri) {
  return admin({kLpadmin, "-h", server_, "-p", name, "-E", "-v", device_uri, "-m", "raw"});
}

bool PrivateScheduler::removeQueue(const std::string& name) {
  return admin({kLpadmin, "-h", server_, "-x", name});
}

bool PrivateScheduler::rejectQueue(const std::string& name, const std::string& reason) {
  return admin({"/usr/sbin/cupsreject", "-h", server_, "-r", reason, name});
}

bool PrivateScheduler::acceptQueue(const std::string& name) {
  return admin({"/usr/sbin/cupsaccept", "-h", server_, name});
}

bool PrivateScheduler::disableQueue(const std::string& name, const std::string& reason) {
  return admin({"/usr/sbin/cupsdisable", "-h", server_, "-r", reason, name});
}

bool PrivateScheduler::enableQueue(const std::string& name) {
  return admin({"/usr/sbin/cupsenable", "-h", server_, name});
}

bool PrivateScheduler::setDefault(const std::string& name) {
  return admin({kLpadmin, "-h", server_, "-d", name});
}

std::string PrivateScheduler::errorLogTail(size_t lines) const {
  if (directory_.empty()) return "";
  auto log = ReadFile(directory_.path() + "/error_log");
  if (!log) return "(no error_log)";
  size_t position = log->size();
  for (size_t seen = 0; position > 0 && seen <= lines; --position) {
    if ((*log)[position - 1] == '\n') ++seen;
  }
  return log->substr(position);
}

}  // namespace corvella::testing
