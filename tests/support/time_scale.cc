#include "tests/support/time_scale.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace corvella::testing {

int TimeScale() {
  static const int scale = [] {
    const char* text = std::getenv("CORVELLA_TEST_TIME_SCALE");
    if (text == nullptr || *text == '\0') return 1;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > 1000) return 1;
    return static_cast<int>(value);
  }();
  return scale;
}

}  // namespace corvella::testing
