#include "tests/host/window_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sstream>
#include <thread>

#include "tests/support/program_run.h"

namespace corvella::testing {

struct WindowClient::Connection {
  Display* display = nullptr;
  bool wayland = false;
};

namespace {

// One of the debug streams of the tests' Wayland compositor (weston_probe.cc),
// read to its end; std::nullopt when the compositor cannot be reached.
std::optional<std::string> ReadCompositorStream(const char* stream) {
  const ProgramRun run = RunProgram({"/usr/bin/weston-debug", stream});
  if (run.exitCode() != 0) return std::nullopt;
  return run.output;
}

struct WaylandWindow {
  int width = 0;
  int height = 0;
  std::string title;
};

// The top-level window of process `pid` as the compositor lists it.
std::optional<WaylandWindow> FindWaylandWindow(pid_t pid) {
  std::istringstream lines(ReadCompositorStream("corvella-windows").value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    long owner = 0;
    WaylandWindow window;
    if (fields >> owner >> window.width >> window.height && owner == pid) {
      fields.ignore(1);  // the space before the title
      std::getline(fields, window.title);
      return window;
    }
  }
  return std::nullopt;
}

std::optional<pid_t> WindowPid(Display* display, Window window, Atom pid_atom) {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::optional<pid_t> pid;
  if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                         &items, &after, &data) == Success &&
      data != nullptr && items == 1 && format == 32) {
    // Format-32 properties come as longs.
    long value = 0;
    static_assert(sizeof value == sizeof(unsigned long));
    __builtin_memcpy(&value, data, sizeof value);
    pid = static_cast<pid_t>(value);
  }
  if (data != nullptr) XFree(data);
  return pid;
}

}  // namespace

WindowClient::WindowClient(const std::string& display_name)
    : connection_(std::make_unique<Connection>()) {
  // X11 display names hold a colon; Wayland socket names do not.
  connection_->wayland = display_name.find(':') == std::string::npos;
  if (!connection_->wayland) connection_->display = XOpenDisplay(display_name.c_str());
}

WindowClient::~WindowClient() {
  if (connection_->display != nullptr) XCloseDisplay(connection_->display);
}

bool WindowClient::connected() const {
  return connection_->wayland ? ReadCompositorStream("corvella-windows").has_value()
                              : connection_->display != nullptr;
}

std::optional<WindowClient::WindowId> WindowClient::findWindow(pid_t pid,
                                                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (connection_->wayland) {
    // A Wayland window is known by its process.
    while (!FindWaylandWindow(pid)) {
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return static_cast<WindowId>(pid);
  }
  Display* display = connection_->display;
  if (display == nullptr) return std::nullopt;
  const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
  while (std::chrono::steady_clock::now() < deadline) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::optional<WindowId> found;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
      for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) == 0 ||
            attributes.map_state != IsViewable) {
          continue;
        }
        if (WindowPid(display, children[i], pid_atom) == pid) found = children[i];
      }
      if (children != nullptr) XFree(children);
    }
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

bool WindowClient::size(WindowId window, int& width, int& height) {
  if (connection_->wayland) {
    const std::optional<WaylandWindow> found = FindWaylandWindow(static_cast<pid_t>(window));
    if (found) {
      width = found->width;
      height = found->height;
    }
    return found.has_value();
  }
  XWindowAttributes attributes;
  if (connection_->display == nullptr ||
      XGetWindowAttributes(connection_->display, window, &attributes) == 0) {
    return false;
  }
  width = attributes.width;
  height = attributes.height;
  return true;
}

std::optional<std::string> WindowClient::title(WindowId window) {
  if (connection_->wayland) {
    const std::optional<WaylandWindow> found = FindWaylandWindow(static_cast<pid_t>(window));
    return found ? std::optional<std::string>(found->title) : std::nullopt;
  }
  if (connection_->display == nullptr) return std::nullopt;
  char* name = nullptr;
  if (XFetchName(connection_->display, window, &name) == 0 || name == nullptr) return std::nullopt;
  std::string text(name);
  XFree(name);
  return text;
}

bool WindowClient::hasPositionHint(WindowId window) {
  if (connection_->display == nullptr) return false;
  XSizeHints hints{};
  long supplied = 0;
  if (XGetWMNormalHints(connection_->display, window, &hints, &supplied) == 0) return false;
  return (hints.flags & (USPosition | PPosition)) != 0;
}

void WindowClient::close(WindowId window) {
  if (connection_->wayland) {
    ReadCompositorStream("corvella-close");
    return;
  }
  Display* display = connection_->display;
  if (display == nullptr) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

}  // namespace corvella::testing
