#include "tests/support/command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "tests/support/child_process.h"

namespace corvella::testing {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
};

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool SetNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Reads what is available; closes `fd` at end of file.
void Drain(int& fd, std::string& into) {
  char buffer[65536];
  while (fd >= 0) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      CloseFd(fd);
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN) {
      return;
    } else {
      CloseFd(fd);
    }
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const CommandOptions& options) {
  // A command that exits before reading all its input must not kill us.
  static const bool sigpipe_ignored = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)sigpipe_ignored;

  CommandResult result;
  Pipe in, out, err;
  if (!in.open() || !out.open() || !err.open()) {
    result.error = std::string("pipe2: ") + std::strerror(errno);
    return result;
  }
  SpawnOptions spawn;
  spawn.stdin_fd = in.read;
  spawn.stdout_fd = out.write;
  spawn.stderr_fd = err.write;
  spawn.before_exec = options.before_exec;
  ChildProcess child;
  if (!child.start(argv, spawn, &result.error)) return result;
  result.started = true;
  CloseFd(in.read);
  CloseFd(out.write);
  CloseFd(err.write);
  if (!SetNonBlocking(in.write) || !SetNonBlocking(out.read) || !SetNonBlocking(err.read)) {
    result.error = std::string("fcntl: ") + std::strerror(errno);
  }

  size_t written = 0;
  if (options.input.empty()) CloseFd(in.write);
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  std::optional<std::chrono::steady_clock::time_point> exited_at;
  while (out.read >= 0 || err.read >= 0 || in.write >= 0) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      result.timed_out = true;
      break;
    }
    // Once the command has exited, a descendant that still holds its output
    // open gets one more second, not the whole timeout.
    if (!exited_at && !child.running()) exited_at = now;
    if (exited_at && now - *exited_at > std::chrono::seconds(1)) break;
    pollfd fds[3];
    nfds_t count = 0;
    if (in.write >= 0) fds[count++] = {in.write, POLLOUT, 0};
    if (out.read >= 0) fds[count++] = {out.read, POLLIN, 0};
    if (err.read >= 0) fds[count++] = {err.read, POLLIN, 0};
    int ready = ::poll(fds, count, 20);
    if (ready < 0 && errno != EINTR) break;
    if (in.write >= 0) {
      while (written < options.input.size()) {
        ssize_t n =
            ::write(in.write, options.input.data() + written, options.input.size() - written);
        if (n > 0) {
          written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
          continue;
        } else {
          if (n < 0 && errno != EAGAIN) written = options.input.size();  // EPIPE: reader gone
          break;
        }
      }
      if (written >= options.input.size()) CloseFd(in.write);
    }
    Drain(out.read, result.out);
    Drain(err.read, result.err);
  }
  CloseFd(in.write);
  std::optional<int> status;
  if (!result.timed_out) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    status = child.wait(std::max(left, std::chrono::milliseconds(0)));
    if (!status) result.timed_out = true;
  }
  if (!status) {
    child.signal(SIGKILL);
    status = child.wait(std::chrono::seconds(30));
  }
  if (status) {
    if (WIFEXITED(*status)) {
      result.exit_code = WEXITSTATUS(*status);
    } else if (WIFSIGNALED(*status)) {
      result.term_signal = WTERMSIG(*status);
    }
  }
  return result;
}

std::string Describe(const CommandResult& result) {
  if (!result.started) return "not started: " + result.error;
  std::string text;
  if (result.timed_out) text += "timed out; ";
  if (result.term_signal != 0) {
    text += "killed by signal " + std::to_string(result.term_signal);
  } else {
    text += "exit " + std::to_string(result.exit_code);
  }
  text += "; stdout: \"" + result.out + "\"; stderr: \"" + result.err + "\"";
  return text;
}

}  // namespace corvella::testing
