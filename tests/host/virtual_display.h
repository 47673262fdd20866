#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

#include "test_print_system/daemon_process.h"
#include "test_print_system/scratch_directory.h"

namespace corvella::testing {

// A private display for tests that open windows, ended when the object
// goes away: an X server (Xvfb), or, when the environment variable
// CORVELLA_TEST_DISPLAY is "wayland", a Wayland compositor (weston with its
// headless back-end and the module weston_probe.cc) in a runtime directory
// of its own. Each picks a free display itself, so tests running side by
// side never share one.
class VirtualDisplay {
 public:
  enum class Kind { kX11, kWayland };

  VirtualDisplay() = default;
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Starts the server and waits until it accepts clients. False with `why`
  // set when the server is not installed or does not come up; a compositor
  // that is installed but does not come up also fails the current test.
  bool start(std::string& why);

  Kind kind() const { return kind_; }
  // ":N" for DISPLAY, or the compositor's socket name for WAYLAND_DISPLAY.
  const std::string& name() const { return name_; }
  // The compositor's XDG_RUNTIME_DIR (private, mode 0700); empty for X11.
  const std::string& runtimeDirectory() const { return runtime_directory_.path(); }

 private:
  bool startX11(std::string& why);
  bool startWayland(std::string& why);

  Kind kind_ = Kind::kX11;
  ScratchDirectory runtime_directory_;  // outlives the server
  DaemonProcess server_;                // stopped when the object goes
  std::string name_;
};

// Starts a display for the current test and points the environment at it;
// programs the test starts inherit it. Skips the test, with the reason,
// when no virtual display can be had (unless that already failed it).
#define CORVELLA_REQUIRE_DISPLAY(display)         \
  do {                                            \
    std::string corvella_display_why;             \
    if (!(display).start(corvella_display_why)) { \
      if (::testing::Test::HasFailure()) return;  \
      GTEST_SKIP() << corvella_display_why;       \
    }                                             \
    ::corvella::testing::UseDisplay((display));   \
  } while (false)

// Points DISPLAY, or WAYLAND_DISPLAY and XDG_RUNTIME_DIR, at `display`
// (and unsets the other kind's), keeps the windowing toolkit on that kind
// of display and off the session's accessibility bus.
void UseDisplay(const VirtualDisplay& display);

}  // namespace corvella::testing
