#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "engine_stand_in/ui_link_backlog.h"

// Writes UI link frames on a thread of its own, so that a user interface that
// reads slowly (or not at all) never holds up the main thread. Frames are
// written whole, in the order sent. The thread owns the output stream; it
// shares with the owner only the queue (held by both) and a cancellable.
// After a write fails, frames are dropped (one log line says how many).
// Every frame waiting to be written counts in the link's backlog.
class UiLinkWriter {
 public:
  // Takes `output` (transfer full) and starts the thread.
  UiLinkWriter(GOutputStream* output, std::shared_ptr<UiLinkBacklog> backlog);
  UiLinkWriter(const UiLinkWriter&) = delete;
  UiLinkWriter& operator=(const UiLinkWriter&) = delete;
  // Writes what is queued, giving up after kCloseDeadline (one log line
  // says so), then ends the thread, which closes the output.
  ~UiLinkWriter();

  static constexpr std::chrono::seconds kCloseDeadline{30};

  // Queues one frame. Never blocks on the output.
  void send(std::vector<uint8_t> frame);
  // Runs `marker` on the writing thread once every frame sent before it has
  // been written (or dropped).
  void afterWritten(std::function<void()> marker);
  // Gives up on what is still to be written: a write under way is
  // interrupted, and every frame is dropped from now on (markers still run).
  void abandon();

  struct Queue;

 private:
  std::shared_ptr<Queue> queue_;
  GCancellable* cancellable_;
  std::thread thread_;
};
