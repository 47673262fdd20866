#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvella::testing {

// What a program printed and how it ended.
struct ProgramRun {
  // The wait status (as from waitpid); nothing when it could not be started.
  std::optional<int> status;
  std::string output;
  std::string errors;
  // The most resident memory it held, in KiB.
  long peak_resident_kib = -1;

  // Its exit code; -1 when it did not exit by itself.
  int exitCode() const;
};

// Runs `argv` (argv[0] a path) to its end, as every program of the tree is
// started (SpawnChild): its input /dev/null, its output and errors collected
// whole in files, so that neither can fill up and stall it. The tests' one
// way to run a program and read what it printed; for another directory or
// environment, start it through /usr/bin/env (-C DIR, NAME=VALUE, -u NAME).
ProgramRun RunProgram(const std::vector<std::string>& argv);

}  // namespace corvella::testing
