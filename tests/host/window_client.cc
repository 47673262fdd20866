#include "tests/host/window_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <thread>

namespace corvella::testing {

struct WindowClient::Connection {
  Display* display = nullptr;
};

namespace {

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
  connection_->display = XOpenDisplay(display_name.c_str());
}

WindowClient::~WindowClient() {
  if (connection_->display != nullptr) XCloseDisplay(connection_->display);
}

bool WindowClient::connected() const { return connection_->display != nullptr; }

std::optional<WindowClient::WindowId> WindowClient::findWindow(pid_t pid,
                                                               std::chrono::milliseconds timeout) {
  Display* display = connection_->display;
  if (display == nullptr) return std::nullopt;
  const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
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
