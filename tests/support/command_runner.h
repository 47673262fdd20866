#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace corvella::testing {

struct CommandOptions {
  std::string input;                         // written to the command's standard input, then closed
  std::chrono::milliseconds timeout{30000};  // then the command is killed
  // As SpawnOptions::before_exec: system calls only.
  std::function<int()> before_exec;
};

struct CommandResult {
  bool started = false;
  std::string error;  // why it did not start
  bool timed_out = false;
  int exit_code = -1;  // -1 when killed by a signal (see term_signal)
  int term_signal = 0;
  std::string out;
  std::string err;

  bool succeeded() const { return started && !timed_out && exit_code == 0; }
};

// Runs a program to completion with its output captured. The child inherits
// this process's environment (so CUPS_SERVER reaches it). Never hangs: after
// the timeout the child is killed.
CommandResult RunCommand(const std::vector<std::string>& argv, const CommandOptions& options = {});

// A one-line account of a result for assertion messages.
std::string Describe(const CommandResult& result);

}  // namespace corvella::testing
