#pragma once

#include <glib.h>

#include <functional>
#include <memory>
#include <string>

// Connects the engine's channels to a user interface in another process over
// a pair of byte streams (frames as in ui_link_frame.h).
//
// - Messages are dispatched on the main thread, one at a time, in the order
//   received; every message gets exactly one reply frame, written as soon as
//   the reply is given (replies may overtake each other).
// - At the end of the input (or a broken frame, which ends it), reading
//   stops; once every message received has been answered and every reply
//   written, `on_finished` runs once on the main thread. The owner closes the
//   main window there.
// - finish() does the same synchronously, for an owner that goes away first
//   (the window was closed while work was in flight): nothing received is
//   dropped.
class UiLink {
 public:
  // Replies once, on the main thread, with the encoded answer (no bytes for
  // "no handler" and not-implemented).
  using Reply = std::function<void(GBytes* reply)>;
  using Dispatch = std::function<void(const std::string& channel, GBytes* message, Reply reply)>;
  using Finished = std::function<void()>;

  // When standard input is a pipe or a socket, moves standard input and
  // output to private descriptors (close-on-exec) and builds a link on them;
  // standard input then reads /dev/null and standard output goes to standard
  // error, so child processes never read the link's frames and a stray print
  // never corrupts them. Only the first call in a process can claim the
  // streams; otherwise, and when standard input is anything else (a
  // terminal, /dev/null, closed), returns nullptr. Main thread only.
  static std::unique_ptr<UiLink> claimStandardStreams(Dispatch dispatch, Finished on_finished);

  // Takes ownership of both descriptors and starts reading. Main thread only.
  UiLink(int input_fd, int output_fd, Dispatch dispatch, Finished on_finished);
  UiLink(const UiLink&) = delete;
  UiLink& operator=(const UiLink&) = delete;
  // Calls finish().
  ~UiLink();

  // Stops reading, dispatches and answers every message received (running
  // the main context until then), writes every reply, then closes the link.
  // `on_finished` is not called by it. Main thread only; blocking.
  void finish();

 private:
  struct Core;
  std::shared_ptr<Core> core_;
};
