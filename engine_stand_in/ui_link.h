#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine_stand_in/ui_link_reader.h"
#include "engine_stand_in/ui_link_writer.h"

// Connects the engine's channels to a user interface in another process over
// a pair of byte streams (frames as in <stand_in/ui_link_frame.h>).
//
// Who owns what: the link lives on the main thread, held by its owner
// through a shared_ptr; work posted to the main thread and reply callbacks
// hold it weakly, so anything arriving after it has gone is dropped. It owns
// its reader and its writer, and each of those owns its thread, which owns
// its stream. Everything else of the link is the main thread's alone.
//
// When each thread ends: the reading thread at the end of the input, at a
// broken frame or when the link is closed; its last act posts the end to the
// main thread, which then joins it. The writing thread when the link goes,
// once what is queued is written (or a deadline has passed).
//
// - Messages are dispatched on the main thread, one at a time, in the order
//   received; every message gets exactly one reply frame, written as soon as
//   the reply is given (replies may overtake each other).
// - When reading ends (the end of the input, a broken frame), the user
//   interface has gone: `on_finished` runs once on the main thread (the
//   owner closes the main window there), unless the owner closed the link
//   first.
// - No new message is read while more than UiLinkBacklog::kLimit of
//   messages wait to be dispatched and replies to be written.
// - Once reading has ended and every message received has been answered and
//   every reply written, the link is settled. It settles in bounded time
//   all the same: kAnswerGrace after reading ended it waits no longer for
//   messages still unanswered, and UiLinkWriter::kCloseDeadline after it
//   gives up writing to a user interface that reads no more (a log line
//   says each).
class UiLink : public std::enable_shared_from_this<UiLink> {
 public:
  // Replies once, on the main thread, with the encoded answer (no bytes for
  // "no handler" and not-implemented).
  using Reply = std::function<void(GBytes* reply)>;
  using Dispatch = std::function<void(const std::string& channel, GBytes* message, Reply reply)>;

  // When standard input is a pipe or a socket, moves standard input and
  // output to streams of the link's own (close-on-exec descriptors) and
  // starts a link on them; standard input then reads /dev/null and standard
  // output goes to standard error, so child processes never read the link's
  // frames and a stray print never corrupts them. Only the first call in a
  // process can claim the streams; otherwise, and when standard input is
  // anything else (a terminal, /dev/null, closed), returns nullptr. Main
  // thread only.
  static std::shared_ptr<UiLink> claimStandardStreams(Dispatch dispatch,
                                                      std::function<void()> on_finished);

  // Starts a link on `input` and `output` (transfer full). Main thread only.
  static std::shared_ptr<UiLink> start(GInputStream* input, GOutputStream* output,
                                       Dispatch dispatch, std::function<void()> on_finished);

  // Stops reading; every message already received is still answered and its
  // reply written. `on_settled` runs on the main thread once the link is
  // settled (at once when it is); `on_finished` no longer runs. Never runs
  // the main loop itself.
  void close(std::function<void()> on_settled);

  // Replies not yet given are lost; queued replies are still written.
  ~UiLink() = default;

  static constexpr std::chrono::seconds kAnswerGrace{10};

  struct Token {};
  UiLink(Token, Dispatch dispatch, std::function<void()> on_finished, GOutputStream* output);

 private:
  void deliver(std::vector<UiLinkCall> calls);
  void readingEnded();
  void settleWhenDone();
  void settled();
  void giveUpAnswers();

  Dispatch dispatch_;
  std::function<void()> on_finished_;
  std::vector<std::function<void()>> on_settled_;
  size_t unanswered_ = 0;
  bool reading_ = true;
  bool flushing_ = false;
  bool settled_ = false;
  bool answers_given_up_ = false;
  std::shared_ptr<UiLinkBacklog> backlog_ = std::make_shared<UiLinkBacklog>();
  // The reader goes first (its thread has ended or is stopped), then the
  // writer, whose thread writes what is queued before it ends.
  UiLinkWriter writer_;
  std::unique_ptr<UiLinkReader> reader_;
};
