#include "process/child_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

#include "process/failure.h"

extern char** environ;

namespace corvella {
namespace {

bool MoveAboveStandardStreams(UniqueFd& fd) {
  if (fd.get() > STDERR_FILENO) return true;
  const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return false;
  fd.reset(moved);
  return true;
}

// Owns the attributes and file actions of one posix_spawn call; the first
// step that fails is kept as the error.
class SpawnSetup {
 public:
  SpawnSetup() {
    error_ = posix_spawn_file_actions_init(&actions_);
    if (error_ == 0) {
      actions_made_ = true;
      error_ = posix_spawnattr_init(&attributes_);
      attributes_made_ = error_ == 0;
    }
  }
  ~SpawnSetup() {
    if (actions_made_) posix_spawn_file_actions_destroy(&actions_);
    if (attributes_made_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  void place(const ChildStream& stream, int standard_stream) {
    if (error_ != 0) return;
    switch (stream.kind) {
      case ChildStream::Kind::kInherited:
        break;
      case ChildStream::Kind::kDescriptor:
        error_ = posix_spawn_file_actions_adddup2(&actions_, stream.fd, standard_stream);
        break;
      case ChildStream::Kind::kDevNull:
        error_ = posix_spawn_file_actions_addopen(
            &actions_, standard_stream, "/dev/null",
            standard_stream == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
        break;
      case ChildStream::Kind::kClosed:
        error_ = posix_spawn_file_actions_addclose(&actions_, standard_stream);
        break;
    }
  }

  void pass(int fd) {
    if (error_ == 0 && fd >= 0) {
      error_ = posix_spawn_file_actions_adddup2(&actions_, fd, kPassedDescriptor);
      passed_ = true;
    }
  }

  // Every other descriptor is closed in the child, also those that other
  // code of this process opened without close-on-exec; signals start at
  // their defaults, none blocked (a process that ignores SIGPIPE must not
  // hand that on); the child leads a session of its own.
  void isolate() {
    if (error_ == 0) {
      error_ = posix_spawn_file_actions_addclosefrom_np(
          &actions_, passed_ ? kPassedDescriptor + 1 : STDERR_FILENO + 1);
    }
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    if (error_ == 0) error_ = posix_spawnattr_setsigdefault(&attributes_, &all);
    if (error_ == 0) error_ = posix_spawnattr_setsigmask(&attributes_, &none);
    if (error_ == 0) {
      error_ = posix_spawnattr_setflags(
          &attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    }
  }

  // The child's pid, or the error of the first step that failed.
  std::optional<pid_t> spawn(const std::string& path, const std::vector<std::string>& arguments,
                             int& error) {
    if (error_ != 0) {
      error = error_;
      return std::nullopt;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    error = posix_spawn(&pid, path.c_str(), &actions_, &attributes_, argv.data(), environ);
    if (error != 0) return std::nullopt;
    return pid;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool actions_made_ = false;
  bool attributes_made_ = false;
  bool passed_ = false;
  int error_ = 0;
};

}  // namespace

std::optional<Pipe> MakePipe(std::string& reason) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    reason = PosixFailure("cannot make a pipe", errno);
    return std::nullopt;
  }
  Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
  if (!MoveAboveStandardStreams(pipe.read) || !MoveAboveStandardStreams(pipe.write)) {
    reason = PosixFailure("cannot make a pipe", errno);
    return std::nullopt;
  }
  return pipe;
}

std::optional<pid_t> SpawnChild(const std::string& path, const std::vector<std::string>& arguments,
                                const ChildStreams& streams, std::string& reason) {
  SpawnSetup setup;
  setup.place(streams.input, STDIN_FILENO);
  setup.place(streams.output, STDOUT_FILENO);
  setup.place(streams.error, STDERR_FILENO);
  setup.pass(streams.passed);
  setup.isolate();
  int error = 0;
  std::optional<pid_t> pid = setup.spawn(path, arguments, error);
  if (!pid) reason = PosixFailure("Cannot launch " + path, error);
  return pid;
}

}  // namespace corvella
