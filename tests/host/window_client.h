#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace corvella::testing {

// A client of an X display that finds a program's window and closes it the
// way a window manager does (WM_DELETE_WINDOW). Kept apart from Xlib's
// header, whose macros clash with the test framework's names.
class WindowClient {
 public:
  using WindowId = unsigned long;

  explicit WindowClient(const std::string& display_name);
  WindowClient(const WindowClient&) = delete;
  WindowClient& operator=(const WindowClient&) = delete;
  ~WindowClient();

  bool connected() const;

  // The viewable top-level window of process `pid` (by _NET_WM_PID), waiting
  // up to `timeout` for it to appear.
  std::optional<WindowId> findWindow(pid_t pid, std::chrono::milliseconds timeout);

  // The window's size on the display; false when it cannot be read.
  bool size(WindowId window, int& width, int& height);

  // The window's title (WM_NAME); std::nullopt when it has none.
  std::optional<std::string> title(WindowId window);

  // Whether the window asks the window manager for a position of its own
  // (a user- or program-specified position in WM_NORMAL_HINTS).
  bool hasPositionHint(WindowId window);

  // Asks the window's owner to close it.
  void close(WindowId window);

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

}  // namespace corvella::testing
