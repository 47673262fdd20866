#pragma once

#include <functional>
#include <memory>

#include "engine/binary_messenger.h"

// Connects the host's channels to a user interface in another process over a
// pair of byte streams (frames as in ui_link_frame.h).
//
// - Messages are delivered to the messenger on the main thread, one at a
//   time, in the order received; every message gets exactly one reply frame,
//   written as soon as the reply is given (replies may overtake each other).
// - At the end of the input (or a broken frame, which ends it), reading
//   stops; once every message received has been answered, no background work
//   is in flight and every reply has been written, `on_finished` runs once on
//   the main thread. The owner closes the main window there.
// - finish() does the same synchronously, for an owner that goes away first
//   (the window was closed while work was in flight): nothing received is
//   dropped.
class UiLink {
 public:
  using Finished = std::function<void()>;

  // When standard input is a pipe or a socket, moves standard input and
  // output to private descriptors (close-on-exec) and builds a link on them;
  // standard input then reads /dev/null and standard output goes to standard
  // error, so child processes never read the link's frames and a stray print
  // never corrupts them. Only the first call in a process can claim the
  // streams; otherwise, and when standard input is anything else (a
  // terminal, /dev/null, closed), returns nullptr. Main thread only.
  static std::unique_ptr<UiLink> claimStandardStreams(BinaryMessenger& messenger,
                                                      Finished on_finished);

  // Takes ownership of both descriptors and starts reading. Main thread only;
  // `messenger` must outlive the link.
  UiLink(int input_fd, int output_fd, BinaryMessenger& messenger, Finished on_finished);
  UiLink(const UiLink&) = delete;
  UiLink& operator=(const UiLink&) = delete;
  // Calls finish().
  ~UiLink();

  // Stops reading, delivers and answers every message received, waits for
  // background work in flight and writes every reply, then closes the link.
  // `on_finished` is not called by it. Main thread only; blocking.
  void finish();

 private:
  struct Core;
  std::shared_ptr<Core> core_;
};
