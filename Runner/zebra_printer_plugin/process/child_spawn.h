#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "process/unique_fd.h"

namespace corvella {

// Starting a program as a child process, and the pipes around it: the one
// place in the tree that starts programs.

// A pipe as two owned ends, both close-on-exec and neither on a standard
// stream (0, 1 or 2), so that placing an end on a child's standard stream is
// always a real duplication, even in a process started with one closed.
struct Pipe {
  UniqueFd read;
  UniqueFd write;
};
// Nothing, with `reason` set, when it cannot be made.
std::optional<Pipe> MakePipe(std::string& reason);

// What one of a child's standard streams is.
struct ChildStream {
  enum class Kind { kInherited, kDescriptor, kDevNull, kClosed };
  Kind kind = Kind::kInherited;
  int fd = -1;  // for kDescriptor: a descriptor of this process

  static ChildStream descriptor(int fd) { return {Kind::kDescriptor, fd}; }
};
struct ChildStreams {
  ChildStream input;
  ChildStream output;
  ChildStream error;
  // A descriptor of this process that the child gets as its descriptor 3
  // (kPassedDescriptor), so that it can open "/dev/fd/3"; -1 for none.
  int passed = -1;
};
inline constexpr int kPassedDescriptor = 3;

// Starts the program at `path` directly (no shell, no search path), with
// `arguments` after its own name, this process's environment and working
// directory, the default action for every signal and an empty signal mask
// (whatever this process ignores or blocks), and no descriptor of this
// process but its three standard streams as `streams` gives them (and the
// passed one, if any).
//
// The child runs in a session of its own, as the leader of its own process
// group, with no controlling terminal: it can neither prompt on the user's
// terminal nor change its settings, a terminal's signals (Ctrl-C, hang-up)
// never reach it, and killing the group -pid ends it with whatever it
// started. Its process id; nothing, with `reason` set ("Cannot launch PATH:
// ..."), when it cannot be started.
std::optional<pid_t> SpawnChild(const std::string& path, const std::vector<std::string>& arguments,
                                const ChildStreams& streams, std::string& reason);

}  // namespace corvella
