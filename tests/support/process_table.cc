#include "tests/support/process_table.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/file_util.h"

namespace corvella::testing {
namespace {

template <typename Match>
std::vector<pid_t> Scan(Match match) {
  std::vector<pid_t> pids;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return pids;
  const pid_t self = ::getpid();
  while (dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self) continue;
    const std::string base = std::string("/proc/") + entry->d_name;
    if (match(base)) pids.push_back(static_cast<pid_t>(pid));
  }
  ::closedir(proc);
  return pids;
}

// True when the process has exited (gone, or a zombie waiting for its parent).
bool Finished(pid_t pid) {
  auto status = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  if (!status) return true;
  // The state follows the command name in parentheses, which may hold spaces.
  size_t close = status->rfind(')');
  if (close == std::string::npos || close + 2 >= status->size()) return true;
  char state = (*status)[close + 2];
  return state == 'Z' || state == 'X';
}

}  // namespace

std::vector<pid_t> ProcessesMentioning(const std::string& text) {
  return Scan([&](const std::string& base) {
    for (const char* file : {"/cmdline", "/environ"}) {
      auto contents = ReadFile(base + file);
      if (contents && contents->find(text) != std::string::npos) return true;
    }
    return false;
  });
}

std::vector<pid_t> ProcessesWithEnvironment(const std::string& entry) {
  const std::string needle = std::string(1, '\0') + entry + std::string(1, '\0');
  return Scan([&](const std::string& base) {
    auto environ = ReadFile(base + "/environ");
    if (!environ) return false;
    return (std::string(1, '\0') + *environ).find(needle) != std::string::npos;
  });
}

bool KillAndAwait(const std::vector<pid_t>& pids, int timeout_ms) {
  for (pid_t pid : pids) ::kill(pid, SIGKILL);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (pid_t pid : pids) {
    while (!Finished(pid)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return true;
}

}  // namespace corvella::testing
