#pragma once

#include <chrono>

namespace corvella::testing {

// How many times longer than on a real machine a step may take where the
// tests run: CORVELLA_TEST_TIME_SCALE, a whole number from 1 up, 1 when unset
// or not such a number. The arm64 test preset sets it, because under
// emulation each instruction costs many and elapsed time measures the
// emulator, not the code.
int TimeScale();

// `bound` times TimeScale(): for every bound a test puts on elapsed time and
// every wait for something due "within moments". A wait that checks that
// something does not come stays as it is.
template <class Rep, class Period>
std::chrono::duration<Rep, Period> Scaled(std::chrono::duration<Rep, Period> bound) {
  return bound * TimeScale();
}

}  // namespace corvella::testing
