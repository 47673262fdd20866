#pragma once

#include <chrono>
#include <optional>

namespace corvella {

// The point in time by which a wait must be over; none for no limit. The one
// way time limits are passed in this code: on the steady clock, which the
// wall clock's changes do not move.
using Deadline = std::optional<std::chrono::steady_clock::time_point>;

}  // namespace corvella
