#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/child_stopper.h"
#include "process/deadline.h"

namespace corvella {

// How a run of a child process is bounded, ended and given what it needs
// besides its command line.
struct RunOptions {
  // None: the run takes as long as the child does.
  Deadline deadline;
  // When given, it may end the run (see ChildStopper).
  ChildStopper* stopper = nullptr;
  // A descriptor the child gets as its descriptor 3; -1 for none.
  int passed = -1;
  // For runs the contract logs (runShellOut, runShellStatusWithInput): log
  // nothing, as a background check of the host's own does.
  bool quiet = false;
};

// One run of a program as a child process, from launch to exit. The program
// at `launch_path` is executed directly (no shell, no search path) with
// `arguments` after its own name, the host's environment and working
// directory, the default action for every signal and an empty signal mask,
// in a session of its own with no controlling terminal (see SpawnChild).
//
// One of the child's output streams is a pipe that is read while the child
// runs (`capture`); the other goes to /dev/null. When `input` is given,
// standard input is a pipe that receives the bytes it gives and is then
// closed; otherwise it is /dev/null: neither the host's terminal nor its
// user interface's link is ever a child's. A child that exits or closes its
// input early ends the write; the host never receives SIGPIPE from it. The
// child gets no descriptor of the host beyond these (and `passed`, as its
// descriptor 3). Blocks the calling thread until the child has exited and
// the captured pipe has reached its end, or, when a deadline is given, at
// most until the deadline: a child still running then is killed (SIGKILL,
// with its process group) and reaped, and the run counts as timed out. A
// run given a stopper does not start once it has been stopped, and ends
// when the stopper kills its child.
class ChildProcess {
 public:
  enum class Capture { kStandardOutput, kStandardError };
  using Clock = std::chrono::steady_clock;
  // The bytes for standard input, in order: each call gives the next piece,
  // which stays valid until the next call, and an empty piece at the end.
  // Pieces are taken only as the pipe has room, and small ones are gathered
  // into large writes, so a large input is never held whole here.
  using Input = std::function<std::string_view()>;

  struct Outcome {
    // The exit code, or the number of the signal that ended the child.
    int32_t status = -1;
    // Every byte the child wrote to the captured stream.
    std::string captured;
    // How many bytes of the input the child took before it stopped reading.
    size_t input_written = 0;
    // True when the deadline passed first and the child was killed.
    bool timed_out = false;
  };

  // The run, with `input` for standard input when given; nothing, with
  // `reason` set ("Cannot launch PATH: ..."), when the program could not be
  // started or its stopper had stopped.
  static std::optional<Outcome> run(const std::string& launch_path,
                                    const std::vector<std::string>& arguments, Capture capture,
                                    std::string& reason, const Input* input,
                                    const RunOptions& options);
};

}  // namespace corvella
