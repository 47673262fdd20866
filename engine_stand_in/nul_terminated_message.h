#pragma once

#include <glib.h>

// Marks, for as long as it lives on its thread, one message whose bytes are
// followed in memory by a NUL byte that the message itself does not hold.
// The UI link marks each message it dispatches that way, so that the codec
// can hand out a large text that ends the message (a label document, say)
// as a view into the message instead of a second copy of it. Dispatch is
// synchronous on the main thread, so the mark covers exactly the decoding
// of that message.
class NulTerminatedMessage {
 public:
  explicit NulTerminatedMessage(GBytes* message) : previous_(current_) { current_ = message; }
  ~NulTerminatedMessage() { current_ = previous_; }
  NulTerminatedMessage(const NulTerminatedMessage&) = delete;
  NulTerminatedMessage& operator=(const NulTerminatedMessage&) = delete;

  // True when `message` is the message marked on this thread.
  static bool covers(GBytes* message) { return message != nullptr && message == current_; }

 private:
  static inline thread_local GBytes* current_ = nullptr;
  GBytes* previous_;
};
