#include "test_print_system/daemon_process.h"

#include <glib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace corvella::testing {

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0) stop();
}

bool DaemonProcess::start(const std::vector<std::string>& argv, const SpawnOptions& options,
                          std::string& reason) {
  if (argv.empty()) {
    reason = "no program to start";
    return false;
  }
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  // The child starts with every signal at its default and none blocked, and
  // on request dies with the thread that started it.
  struct Setup {
    bool terminate_with_parent;
    pid_t parent;
  } setup{options.terminate_with_parent, ::getpid()};
  auto child_setup = [](gpointer data) {
    const Setup* wanted = static_cast<const Setup*>(data);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (wanted->terminate_with_parent &&
        (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != wanted->parent)) {
      ::_exit(127);
    }
  };
  const int flags = G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL;
  g_autoptr(GError) spawn_error = nullptr;
  GPid pid = 0;
  if (!g_spawn_async_with_pipes_and_fds(nullptr, arguments.data(), nullptr,
                                        static_cast<GSpawnFlags>(flags), child_setup, &setup, -1,
                                        options.stdout_fd, options.stderr_fd, nullptr, nullptr, 0,
                                        &pid, nullptr, nullptr, nullptr, &spawn_error)) {
    reason = "cannot start " + argv.front() + ": " + spawn_error->message;
    return false;
  }
  pid_ = pid;
  status_.reset();
  return true;
}

bool DaemonProcess::running() {
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

std::optional<int> DaemonProcess::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(200);
  while (running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(10000));
  }
  return status_;
}

std::optional<int> DaemonProcess::stop(std::chrono::milliseconds grace) {
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
