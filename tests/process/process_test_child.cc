// A child program for the process runner's tests. The first argument names
// what it does; every mode is small and deterministic.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "process/write_all.h"

namespace {

using corvella::WriteAll;

std::string ReadAll(int fd) {
  std::string all;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return all;
    all.append(buffer, static_cast<size_t>(n));
  }
}

// Bytes given as hex pairs, so tests can hand over text that is not UTF-8.
std::string FromHex(const char* hex) {
  std::string bytes;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    bytes.push_back(static_cast<char>(std::strtol(std::string(hex + i, 2).c_str(), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  const std::string mode = argv[1];
  if (mode == "print") {  // print OUT ERR STATUS
    WriteAll(1, argv[2]);
    WriteAll(2, argv[3]);
    return std::atoi(argv[4]);
  }
  if (mode == "hex") {  // hex OUTHEX ERRHEX
    WriteAll(1, FromHex(argv[2]));
    WriteAll(2, FromHex(argv[3]));
    return 0;
  }
  if (mode == "flood") {  // flood OUT_BYTES ERR_BYTES: both streams, interleaved
    size_t out = std::strtoul(argv[2], nullptr, 10);
    size_t err = std::strtoul(argv[3], nullptr, 10);
    const std::string o(4096, 'o');
    const std::string e(4096, 'e');
    while (out > 0 || err > 0) {
      size_t n = out < o.size() ? out : o.size();
      if (n > 0 && !WriteAll(1, std::string_view(o.data(), static_cast<size_t>(n)))) return 101;
      out -= n;
      n = err < e.size() ? err : e.size();
      if (n > 0 && !WriteAll(2, std::string_view(e.data(), static_cast<size_t>(n)))) return 102;
      err -= n;
    }
    return 0;
  }
  if (mode == "args") {  // each argument after the mode, NUL-terminated
    for (int i = 2; i < argc; ++i) WriteAll(1, std::string_view(argv[i], std::strlen(argv[i]) + 1));
    return 0;
  }
  if (mode == "fds") {  // the open descriptors, one per line
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return 103;
    const int own = dirfd(dir);
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
      WriteAll(1, std::string(entry->d_name) + "\n");
    }
    closedir(dir);
    return 0;
  }
  if (mode == "echo-stdin-to-stderr") {  // then exits with STATUS
    WriteAll(2, ReadAll(0));
    return std::atoi(argv[2]);
  }
  if (mode == "count-stdin") {  // the number of input bytes, on standard error
    WriteAll(2, "read " + std::to_string(ReadAll(0).size()) + "\n");
    return 0;
  }
  if (mode == "exit") return std::atoi(argv[2]);
  if (mode == "close-stdin") {  // closes its input unread, lingers, then exits 3
    close(0);
    usleep(100 * 1000);
    return 3;
  }
  if (mode == "signal") {
    signal(std::atoi(argv[2]), SIG_DFL);
    raise(std::atoi(argv[2]));
    return 104;
  }
  if (mode == "signal-state") {  // how SIGPIPE and SIGUSR1 reach the child
    struct sigaction action;
    sigaction(SIGPIPE, nullptr, &action);
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    WriteAll(1, std::string(action.sa_handler == SIG_DFL ? "default" : "not-default") +
                    (sigismember(&mask, SIGPIPE) || sigismember(&mask, SIGUSR1) ? " blocked"
                                                                                : " unblocked"));
    return 0;
  }
  if (mode == "session") {  // whether it leads a session, and what its input is
    struct stat input {};
    struct stat null {};
    const bool dev_null = fstat(0, &input) == 0 && stat("/dev/null", &null) == 0 &&
                          S_ISCHR(input.st_mode) && input.st_rdev == null.st_rdev;
    WriteAll(1, std::string(getsid(0) == getpid() && getpgrp() == getpid() ? "leader" : "member") +
                    (dev_null ? " /dev/null" : " other input"));
    return 0;
  }
  if (mode == "env") {  // the value of one environment variable and the cwd
    const char* value = std::getenv(argv[2]);
    char cwd[4096];
    WriteAll(1,
             std::string(value ? value : "<unset>") + "\n" + (getcwd(cwd, sizeof cwd) ? cwd : ""));
    return 0;
  }
  return 100;
}
