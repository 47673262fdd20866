#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace corvella::testing {

// Processes other than this one whose command line or environment contains
// `text` (zombies have neither and are not listed). Reading another user's
// environment needs root; those processes are judged by command line alone.
std::vector<pid_t> ProcessesMentioning(const std::string& text);

// Processes other than this one that have `entry` ("NAME=VALUE") exactly as
// one of their environment variables.
std::vector<pid_t> ProcessesWithEnvironment(const std::string& entry);

// Kills each process with SIGKILL and waits (up to `timeout_ms`) until it has
// disappeared or become a zombie. Returns false if one is still alive.
bool KillAndAwait(const std::vector<pid_t>& pids, int timeout_ms = 5000);

}  // namespace corvella::testing
