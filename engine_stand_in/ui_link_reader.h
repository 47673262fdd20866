#pragma once

#include <functional>
#include <thread>
#include <vector>

#include "engine_stand_in/ui_link_frame.h"

// Reads UI link frames from the link's input on a thread of its own and hands
// the messages on as they complete: every message completed by one read goes
// out in one batch, so that messages the user interface sent together are
// also delivered together. The thread touches nothing but the input and the
// two sinks.
class UiLinkReader {
 public:
  // Why reading ended.
  enum class End {
    kEndOfInput,   // the input closed between frames
    kInsideFrame,  // the input closed part-way through a frame
    kOverLimit,    // a frame announced more than kUiLinkMaxFrameLength
    kShortBody,    // a body too short for its header
    kReadError,    // reading failed
  };
  // Both run on the reading thread.
  using CallSink = std::function<void(std::vector<UiLinkCall> calls)>;
  using EndSink = std::function<void(End end)>;

  // Takes ownership of `fd` and starts reading. Every complete message goes
  // to `on_call` (in batches that are never empty) in the order received;
  // then `on_end` is called once, unless stop() came first. Every way of ending except kEndOfInput
  // writes one log line.
  UiLinkReader(int fd, CallSink on_call, EndSink on_end);
  UiLinkReader(const UiLinkReader&) = delete;
  UiLinkReader& operator=(const UiLinkReader&) = delete;
  ~UiLinkReader();

  // Stops reading (frames not yet complete are dropped), waits for the
  // thread and closes the input. No sink is called after it returns.
  void stop();

 private:
  void ReadLoop();

  int fd_;
  int wake_read_ = -1;
  int wake_write_ = -1;
  CallSink on_call_;
  EndSink on_end_;
  std::thread thread_;
  bool stopped_ = false;
};
