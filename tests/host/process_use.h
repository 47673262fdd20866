#pragma once

// What a host process holds, read from /proc, to see that nothing it
// starts or opens piles up.

#include <sys/types.h>

#include <string>
#include <vector>

namespace corvella::testing {

// What a process holds, from /proc: threads, open descriptors (what each
// refers to) and children (zombies included: they are not reaped).
struct ProcessUse {
  long threads = -1;
  std::vector<std::string> descriptors;
  size_t children = 0;

  bool operator==(const ProcessUse& other) const {
    return threads == other.threads && descriptors.size() == other.descriptors.size() &&
           children == other.children;
  }
  std::string describe() const {
    std::string text = "threads " + std::to_string(threads) + ", children " +
                       std::to_string(children) + ", descriptors:";
    for (const std::string& fd : descriptors) text += "\n  " + fd;
    return text;
  }
};

ProcessUse ReadProcessUse(pid_t pid);

// The host's use once its background pool has gone idle: no change for
// longer than the pool keeps an idle worker.
ProcessUse SettledUse(pid_t pid);

// The processes called `name` (zombies left out) whose parent is `parent`.
std::vector<pid_t> ChildrenNamed(pid_t parent, const std::string& name);

}  // namespace corvella::testing
