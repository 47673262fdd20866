#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace corvella::testing {

// A client of a display that finds a program's window and closes it the way
// a window manager does: on an X display through Xlib (WM_DELETE_WINDOW), on
// the tests' Wayland compositor through its module weston_probe.cc
// (xdg_toplevel.close), which sees the windows of every client. Kept apart
// from Xlib's header, whose macros clash with the test framework's names.
class WindowClient {
 public:
  using WindowId = unsigned long;

  // `display_name`: an X display (":N") or a Wayland socket name.
  explicit WindowClient(const std::string& display_name);
  WindowClient(const WindowClient&) = delete;
  WindowClient& operator=(const WindowClient&) = delete;
  ~WindowClient();

  bool connected() const;

  // The viewable top-level window of process `pid` (on X11 by _NET_WM_PID),
  // waiting up to `timeout` for it to appear.
  std::optional<WindowId> findWindow(pid_t pid, std::chrono::milliseconds timeout);

  // The window's size on the display (on Wayland its window geometry); false
  // when it cannot be read.
  bool size(WindowId window, int& width, int& height);

  // The window's title (WM_NAME); std::nullopt when it has none.
  std::optional<std::string> title(WindowId window);

  // X11 only: whether the window asks the window manager for a position of
  // its own (a user- or program-specified position in WM_NORMAL_HINTS). A
  // Wayland client has no way to ask for a position; false there.
  bool hasPositionHint(WindowId window);

  // Asks the window's owner to close it (on Wayland, every window's owner).
  void close(WindowId window);

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

}  // namespace corvella::testing
