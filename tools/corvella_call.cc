// corvella-call: a command-line user interface for the Corvella host. Runs
// the host, sends method calls to it over the UI link in one session and
// prints each answer as one line of JSON. See CallUsage() for the details.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <sysexits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/call_arguments.h"
#include "tools/command_line.h"
#include "tools/host_session.h"
#include "tools/json_values.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCallFailed = 1;
constexpr int kExitHost = 3;
constexpr int kExitFile = 4;
constexpr const char* kTool = "corvella-call";

bool HasEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

void SayNoDisplay(const std::string& why) {
  std::cerr << "corvella-call: " << why << "\n"
            << "The host opens a window and needs a display. Without one, run it under a "
               "virtual display:\n"
            << "  xvfb-run -a corvella-call ...\n";
}

// The corvella host beside this program.
std::string DefaultHostPath() {
  std::vector<char> path(4096);
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "corvella";
  std::string self(path.data(), static_cast<size_t>(n));
  const size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "corvella";
}

// Tells why the host ended as it did; true when it ended cleanly.
bool ReportHostEnd(int status, const std::string& host) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  if (WIFEXITED(status) && WEXITSTATUS(status) == EX_UNAVAILABLE) {
    const char* display = std::getenv("DISPLAY");
    SayNoDisplay(std::string("the host could not open the display") +
                 (display != nullptr ? std::string(" ") + display : std::string()));
  } else if (WIFEXITED(status)) {
    std::cerr << "corvella-call: the host " << host << " exited with status " << WEXITSTATUS(status)
              << "\n";
  } else if (WIFSIGNALED(status)) {
    std::cerr << "corvella-call: the host " << host << " was ended by signal " << WTERMSIG(status)
              << "\n";
  } else {
    std::cerr << "corvella-call: the host " << host << " could not be waited for\n";
  }
  return false;
}

// How an answer tells of a failed call: an error, not implemented, or false
// from the methods whose false means that nothing was done. Nothing for a
// successful call.
std::optional<std::string> CallFailure(const std::string& method, FlMethodResponse* answer) {
  if (FL_IS_METHOD_ERROR_RESPONSE(answer)) {
    FlMethodErrorResponse* error = FL_METHOD_ERROR_RESPONSE(answer);
    const gchar* message = fl_method_error_response_get_message(error);
    return std::string("answered the error ") + fl_method_error_response_get_code(error) +
           (message != nullptr ? std::string(" (") + message + ")" : std::string());
  }
  if (!FL_IS_METHOD_SUCCESS_RESPONSE(answer)) return "is not implemented by the host";
  FlValue* value = fl_method_success_response_get_result(FL_METHOD_SUCCESS_RESPONSE(answer));
  const bool answered_false =
      fl_value_get_type(value) == FL_VALUE_TYPE_BOOL && !fl_value_get_bool(value);
  if (answered_false && method == "printZPL") {
    return "answered false: the label was not queued (the host's log lines above say why)";
  }
  if (answered_false && method == "connectToDefaultPrinter") {
    return "answered false: the print system has no default printer";
  }
  return std::nullopt;
}

// A later open() must not land on a standard descriptor that is closed.
void EnsureStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0) continue;
    int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStandardDescriptors();
  std::vector<std::string> args(argv + 1, argv + argc);
  corvella::CallLineProblem problem;
  std::optional<corvella::CallCommandLine> line = corvella::ParseCallCommandLine(args, problem);
  if (!line && problem.file) {
    std::cerr << kTool << ": " << problem.reason << "\n";
    return kExitFile;
  }
  if (!line) return corvella::UsageError(kTool, problem.reason);
  if (line->help) {
    std::cout << corvella::CallUsage();
    return kExitSuccess;
  }
  if (line->version) {
    corvella::PrintVersion(kTool);
    return kExitSuccess;
  }
  for (const corvella::CallRequest& request : line->calls) {
    for (const std::string& warning : request.warnings) {
      std::cerr << kTool << ": warning: " << warning << "\n";
    }
  }
  if (!HasEnv("DISPLAY") && !HasEnv("WAYLAND_DISPLAY")) {
    SayNoDisplay("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
    return kExitHost;
  }
  // A host that ends early closes the pipe; the write then fails with EPIPE
  // and is reported instead of killing this process.
  signal(SIGPIPE, SIG_IGN);

  const std::string host = line->host.value_or(DefaultHostPath());
  std::string reason;
  std::unique_ptr<corvella::HostSession> session = corvella::HostSession::start(host, reason);
  if (!session) {
    std::cerr << "corvella-call: " << reason << "\n";
    return kExitHost;
  }

  bool any_failed = false;
  int number = 0;
  for (const corvella::CallRequest& request : line->calls) {
    ++number;
    std::vector<uint8_t> message =
        corvella::EncodeMethodCall(request.method, request.arguments.get());
    std::optional<std::vector<uint8_t>> reply = session->call(line->channel, message, reason);
    if (!reply) {
      std::cerr << "corvella-call: " << request.method << ": " << reason << "\n";
      const int status = session->close();
      ReportHostEnd(status, host);
      return kExitHost;
    }
    g_autoptr(FlMethodResponse) answer = corvella::DecodeReply(*reply);
    if (answer == nullptr) {
      std::cerr << "corvella-call: " << request.method << ": the host's reply is not a valid "
                << "answer (" << reply->size() << " bytes)\n";
      session->close();
      return kExitHost;
    }
    std::cout << corvella::ToJson(answer) << std::endl;
    if (std::optional<std::string> failure = CallFailure(request.method, answer)) {
      std::cerr << kTool << ": call " << number << ", " << request.method << ", " << *failure
                << "\n";
      any_failed = true;
    }
  }
  if (!ReportHostEnd(session->close(), host)) return kExitHost;
  return any_failed ? kExitCallFailed : kExitSuccess;
}
