#pragma once

#include <gio/gio.h>
#include <stand_in/ui_link_frame.h>

#include <functional>
#include <thread>
#include <vector>

// Reads UI link frames on a thread of its own. The thread owns the input
// stream and everything it reads; it shares nothing with other threads but
// a cancellable and the two sinks, which it calls with what it owns.
//
// Every message completed by one read goes to `on_calls` in one batch (never
// empty), in the order received, so that messages the user interface sent
// together are delivered together. Then `on_end` is called exactly once, as
// the thread's last act, whether the input ended, a frame broke it, reading
// failed or stop() asked. Each way of ending but the end of the input
// between frames, and stop(), logs one line.
class UiLinkReader {
 public:
  using CallSink = std::function<void(std::vector<UiLinkCall> calls)>;
  using EndSink = std::function<void()>;

  // Takes `input` (transfer full) and starts the thread, which closes the
  // input when it ends.
  UiLinkReader(GInputStream* input, CallSink on_calls, EndSink on_end);
  UiLinkReader(const UiLinkReader&) = delete;
  UiLinkReader& operator=(const UiLinkReader&) = delete;
  // As stop().
  ~UiLinkReader();

  // Interrupts reading (a frame not yet complete is dropped) and waits for
  // the thread to end.
  void stop();

 private:
  GCancellable* cancellable_;
  std::thread thread_;
};
