#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace corvella {

// What the print system says of one queue: the scheduler's own attributes
// (keywords and numbers, never text translated for a reader), so the answer
// does not depend on the locale.
struct PrinterState {
  enum class Condition {
    kIdle,      // printer-state 3
    kPrinting,  // printer-state 4, processing
    kStopped,   // printer-state 5
    kAbsent,    // the scheduler has no queue of that name
    kUnknown,   // the scheduler did not answer in time, could not be
                // reached, or would not tell
  };

  Condition condition = Condition::kUnknown;
  // The rest is known only for kIdle, kPrinting and kStopped.
  bool accepting = false;            // printer-is-accepting-jobs
  std::vector<std::string> reasons;  // printer-state-reasons without "none"
  std::string message;               // printer-state-message; empty when none
  int64_t jobs = 0;                  // jobs on the queue not yet completed
  // For kUnknown: the time ran out (as against a refusal or an error).
  bool timed_out = false;
};

// "idle", "printing", "stopped", "absent" or "unknown".
const char* ConditionName(PrinterState::Condition condition);

// Asks the scheduler that libcups finds (CUPS_SERVER, client.conf) for the
// state of queue `name`, on the calling thread, which it blocks, over a
// CupsConnection: every wait gives up once `deadline` has passed or
// `cancelled` is set, so the call returns soon after either, and a server
// that asks for a password is declined, never prompted for (the answer is
// kUnknown). A name that no CUPS queue can have (empty, too long, or holding
// a space, a control character, '/', '\\', '?', '\'', '"' or '#') is
// kAbsent without asking.
PrinterState ReadPrinterState(const std::string& name,
                              std::chrono::steady_clock::time_point deadline,
                              const std::atomic<bool>& cancelled);

}  // namespace corvella
