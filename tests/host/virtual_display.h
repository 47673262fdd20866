#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

#include "test_print_system/daemon_process.h"

namespace corvella::testing {

// A private X server (Xvfb) for tests that open windows. It picks a free
// display number itself, so tests running side by side never share one, and
// it is ended when the object goes away.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Starts the server and waits until it accepts clients. False with `why`
  // set when Xvfb is not installed or does not come up.
  bool start(std::string& why);

  // ":N", for DISPLAY.
  const std::string& name() const { return name_; }

 private:
  DaemonProcess server_;  // stopped when the object goes
  std::string name_;
};

// Starts a display for the current test and points DISPLAY (and the backend
// choice of the windowing toolkit) at it; programs the test starts inherit
// it. Skips the test, with the reason, when no virtual display can be had.
#define CORVELLA_REQUIRE_DISPLAY(display)              \
  do {                                                 \
    std::string corvella_display_why;                  \
    if (!(display).start(corvella_display_why)) {      \
      GTEST_SKIP() << corvella_display_why;            \
    }                                                  \
    ::corvella::testing::UseDisplay((display).name()); \
  } while (false)

// Sets DISPLAY to `name` and keeps the toolkit on X11 and off the session's
// accessibility bus.
void UseDisplay(const std::string& name);

}  // namespace corvella::testing
