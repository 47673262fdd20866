#pragma once

#include <gio/gio.h>
#include <stand_in/ui_link_frame.h>

#include <chrono>
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
  // Whether the host has room for more messages (their replies), waiting up
  // to the time given for it.
  using Room = std::function<bool(std::chrono::milliseconds wait)>;

  // How long reading waits for room once the input has ended behind the
  // messages not yet read: a user interface that closed its end and reads
  // no replies either has gone.
  static constexpr std::chrono::seconds kRoomAfterHangUp{30};

  // Takes `input` (transfer full) and starts the thread, which closes the
  // input when it ends. Before each read it waits for `room`.
  UiLinkReader(GInputStream* input, CallSink on_calls, EndSink on_end, Room room);
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
