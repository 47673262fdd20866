#include "tests/support/program_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "process/child_spawn.h"
#include "process/unique_fd.h"
#include "submission/temporary_directory.h"

namespace corvella::testing {

namespace {

// A new file in the temporary directory that nobody can reach by name.
UniqueFd AnonymousFile() {
  std::string path = PathInDirectory(TemporaryDirectory(), "corvella-run-XXXXXX");
  UniqueFd fd(mkostemp(path.data(), O_CLOEXEC));
  if (fd.valid()) unlink(path.c_str());
  return fd;
}

std::string ReadFrom(const UniqueFd& fd) {
  std::string text;
  char buffer[65536];
  for (off_t offset = 0;;) {
    const ssize_t n = pread(fd.get(), buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buffer, static_cast<size_t>(n));
    offset += n;
  }
}

}  // namespace

int ProgramRun::exitCode() const {
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

ProgramRun RunProgram(const std::vector<std::string>& argv) {
  ProgramRun run;
  const UniqueFd output = AnonymousFile();
  const UniqueFd errors = AnonymousFile();
  if (argv.empty() || !output.valid() || !errors.valid()) return run;
  ChildStreams streams;
  streams.input.kind = ChildStream::Kind::kDevNull;
  streams.output = ChildStream::descriptor(output.get());
  streams.error = ChildStream::descriptor(errors.get());
  std::string reason;
  const std::optional<pid_t> pid = SpawnChild(
      argv.front(), std::vector<std::string>(argv.begin() + 1, argv.end()), streams, reason);
  if (!pid) {
    run.errors = reason;
    return run;
  }
  int status = 0;
  rusage usage{};
  pid_t waited;
  while ((waited = wait4(*pid, &status, 0, &usage)) < 0 && errno == EINTR) {
  }
  if (waited == *pid) {
    run.status = status;
    run.peak_resident_kib = usage.ru_maxrss;
  }
  run.output = ReadFrom(output);
  run.errors = ReadFrom(errors);
  return run;
}

}  // namespace corvella::testing
