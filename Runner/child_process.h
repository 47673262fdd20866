#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella {

// One run of a program as a child process, from launch to exit. The program
// at `launchPath` is executed directly (no shell, no search path) with
// `arguments` after its own name, the host's environment and working
// directory, the default action for every signal and an empty signal mask.
//
// The child's standard output and standard error are pipes; both are read
// while the child runs, so a child never blocks on a full pipe. One of them
// is kept (`capture`), the other is read and dropped. When `input` is given,
// standard input is a pipe that receives the bytes it gives and is then
// closed; otherwise the child shares the host's standard input. A child that exits or
// closes its input early ends the write; the host never receives SIGPIPE
// from it. The child gets no descriptor of the host beyond its three
// standard streams. Blocks the calling thread until the child has exited
// and both pipes have reached their end, or, when a deadline is given, at
// most until the deadline: a child still running then is killed (SIGKILL)
// and reaped, and the run counts as timed out. A run given a cancellable
// ends the same way as soon as it is cancelled, so a child never outlives
// whoever started it.
class ChildProcess {
 public:
  enum class Capture { kStandardOutput, kStandardError };
  using Clock = std::chrono::steady_clock;
  // No deadline: the run takes as long as the child does.
  using Deadline = std::optional<Clock::time_point>;
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
    size_t inputWritten = 0;
    // True when the deadline passed first, or the run was cancelled, and the
    // child was killed.
    bool timedOut = false;
  };

  // The run; nothing, with `reason` set ("Cannot launch PATH: ..."), when
  // the program could not be started.
  static std::optional<Outcome> run(const std::string& launchPath,
                                    const std::vector<std::string>& arguments, Capture capture,
                                    std::string& reason, const Input* input = nullptr,
                                    Deadline deadline = std::nullopt,
                                    GCancellable* cancellable = nullptr);
};

}  // namespace corvella
