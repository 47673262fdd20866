#include "tests/host/process_use.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "test_print_system/file_util.h"

namespace corvella::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// The background pool ends a worker after 5 s without work.
constexpr auto kPoolIdleEnd = seconds(5);

// Each process of /proc with its name and its parent's pid.
template <typename Visit>
void ForEachProcess(Visit visit) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    // "PID (COMM) STATE PPID ...": COMM may hold anything; it ends at the
    // last ')'.
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(entry.path() / "stat").value_or("");
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    long parent = 0;
    rest >> state >> parent;
    visit(static_cast<pid_t>(std::stol(pid)), stat.substr(open + 1, close - open - 1), state,
          static_cast<pid_t>(parent));
  }
}

}  // namespace

ProcessUse ReadProcessUse(pid_t pid) {
  namespace fs = std::filesystem;
  ProcessUse use;
  const fs::path proc = "/proc/" + std::to_string(pid);
  const std::string status = ReadFile(proc / "status").value_or("");
  if (const size_t at = status.find("\nThreads:"); at != std::string::npos)
    use.threads = std::strtol(status.c_str() + at + 9, nullptr, 10);
  std::error_code error;
  for (const fs::directory_entry& fd : fs::directory_iterator(proc / "fd", error)) {
    use.descriptors.push_back(fd.path().filename().string() + " -> " +
                              fs::read_symlink(fd.path(), error).string());
  }
  std::sort(use.descriptors.begin(), use.descriptors.end());
  ForEachProcess([&](pid_t, const std::string&, const std::string&, pid_t parent) {
    use.children += parent == pid;
  });
  return use;
}

ProcessUse SettledUse(pid_t pid) {
  ProcessUse use = ReadProcessUse(pid);
  auto last_change = steady_clock::now();
  const auto give_up = last_change + seconds(40);
  while (steady_clock::now() - last_change < kPoolIdleEnd + seconds(1) &&
         steady_clock::now() < give_up) {
    std::this_thread::sleep_for(milliseconds(100));
    ProcessUse now = ReadProcessUse(pid);
    if (!(now == use)) last_change = steady_clock::now();
    use = std::move(now);
  }
  return use;
}

std::vector<pid_t> ChildrenNamed(pid_t parent, const std::string& name) {
  std::vector<pid_t> found;
  ForEachProcess([&](pid_t pid, const std::string& comm, const std::string& state, pid_t ppid) {
    if (ppid == parent && comm == name && state != "Z") found.push_back(pid);
  });
  return found;
}

}  // namespace corvella::testing
