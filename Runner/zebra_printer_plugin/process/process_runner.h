#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/child_process.h"

namespace corvella {

// What runShellStatus gives.
struct ShellStatus {
  // The exit code, the signal number for a child ended by a signal, or -1
  // when the program cannot be started.
  int32_t status = -1;
  // The child's standard error (nothing when it is not UTF-8), or after a
  // failed launch the reason, naming the program.
  std::optional<std::string> text;
};

// The plug-in's three ways of running a print-system tool. Each call runs
// its own child (see ChildProcess) as `options` says, blocks until it has
// exited and hands back plain values; nothing is shared between calls, so
// they may overlap on any threads. Captured text is decoded as strict UTF-8
// in one piece: bytes that are not UTF-8 give no text at all, an empty
// stream gives the empty text.
class ProcessRunner {
 public:
  // What the child wrote to standard output, whatever its exit status.
  // Nothing when the program cannot be started (logged as "runShellOut
  // error: " and the reason) or the output is not UTF-8. With a deadline, a
  // child still running then is killed and reaped, and its output counts as
  // absent (logged as "runShellOut error: " and that it timed out); a
  // deadline already past starts no child and logs nothing.
  static std::optional<std::string> runShellOut(const std::string& launch_path,
                                                const std::vector<std::string>& arguments,
                                                const RunOptions& options = {});

  // The exit status and standard error of the child; its standard output is
  // dropped. Logs nothing.
  static ShellStatus runShellStatus(const std::string& launch_path,
                                    const std::vector<std::string>& arguments,
                                    const RunOptions& options = {});

  // Runs the child with `input` on its standard input, then closed, and
  // gives its exit status. A child that stops reading early ends the write;
  // the status is still its own. Logs "runShellStatusWithInput error: " and
  // the reason when the program cannot be started, and "<launch path> stdin
  // failed: " with the child's standard error, untrimmed, whenever that is
  // UTF-8 and not blank (whatever the status).
  static int32_t runShellStatusWithInput(const std::string& launch_path,
                                         const std::vector<std::string>& arguments,
                                         std::string_view input);

  // The same, with the input given in pieces as ChildProcess::Input gives
  // them, so that a large document is never held whole for the child.
  static int32_t runShellStatusWithInput(const std::string& launch_path,
                                         const std::vector<std::string>& arguments,
                                         const ChildProcess::Input& input,
                                         const RunOptions& options = {});
};

}  // namespace corvella
