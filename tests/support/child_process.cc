#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace corvella::testing {
namespace {

// Moves `fd` onto `target` in the child, clearing close-on-exec.
int Place(int fd, int target) {
  if (fd == target) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0 || ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC) != 0) return errno;
    return 0;
  }
  while (::dup2(fd, target) < 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

[[noreturn]] void ChildFail(int report_fd, int error) {
  while (::write(report_fd, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= dirs.size()) {
    size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate;
    if (end == begin) {
      candidate = ".";
    } else {
      candidate.assign(dirs, begin, end - begin);
    }
    candidate.push_back('/');
    candidate.append(name);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    begin = end + 1;
  }
  return "";
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::start(const std::vector<std::string>& argv, const SpawnOptions& options,
                         std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (pid_ > 0 && running()) return fail("already running");
  pid_ = -1;
  status_.reset();
  if (argv.empty()) return fail("no program given");
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) return fail(argv[0] + ": not found in PATH");

  // Everything the child needs is prepared here: after fork it may only make
  // system calls.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int null_fd = -1;
  if (options.stdin_fd < 0) {
    null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null_fd < 0) return fail(std::string("/dev/null: ") + std::strerror(errno));
  }
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (null_fd >= 0) ::close(null_fd);
    return fail(std::string("pipe2: ") + std::strerror(errno));
  }
  const pid_t parent = ::getpid();
  const int stdin_fd = options.stdin_fd >= 0 ? options.stdin_fd : null_fd;

  pid_t pid = ::fork();
  if (pid < 0) {
    int saved = errno;
    ::close(report[0]);
    ::close(report[1]);
    if (null_fd >= 0) ::close(null_fd);
    return fail(std::string("fork: ") + std::strerror(saved));
  }
  if (pid == 0) {
    ::close(report[0]);
    if (options.terminate_with_parent) {
      if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) ChildFail(report[1], errno);
      // The parent may have died before prctl took effect.
      if (::getppid() != parent) ::_exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    int e = Place(stdin_fd, 0);
    if (e == 0 && options.stdout_fd >= 0) e = Place(options.stdout_fd, 1);
    if (e == 0 && options.stderr_fd >= 0) e = Place(options.stderr_fd, 2);
    if (e != 0) ChildFail(report[1], e);
    ::execve(program.c_str(), args.data(), environ);
    ChildFail(report[1], errno);
  }

  ::close(report[1]);
  if (null_fd >= 0) ::close(null_fd);
  pid_ = pid;
  int child_error = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &child_error, sizeof child_error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof child_error)) {
    wait(std::chrono::seconds(10));
    pid_ = -1;
    return fail(argv[0] + ": " + std::strerror(child_error));
  }
  return true;
}

bool ChildProcess::running() {
  if (pid_ <= 0 || status_) return false;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    status_ = status;
    return false;
  }
  // r < 0 (ECHILD): someone else reaped it; treat as gone.
  if (r < 0) {
    status_ = 0;
    return false;
  }
  return true;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(200);
  while (running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(10000));
  }
  return status_;
}

bool ChildProcess::signal(int signal) {
  if (!running()) return false;
  return ::kill(pid_, signal) == 0;
}

std::optional<int> ChildProcess::stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return status_;
  if (running()) {
    ::kill(pid_, SIGTERM);
    if (!wait(grace)) {
      ::kill(pid_, SIGKILL);
      wait(std::chrono::seconds(30));
    }
  }
  return status_;
}

}  // namespace corvella::testing
