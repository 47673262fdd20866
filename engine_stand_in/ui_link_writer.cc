#include "engine_stand_in/ui_link_writer.h"

#include <limits.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <variant>

#include "engine_stand_in/ui_link_log.h"

// What the owner hands the thread: frames and markers, in order.
struct UiLinkWriter::Queue {
  using Item = std::variant<std::vector<uint8_t>, std::function<void()>>;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Item> items;
  std::shared_ptr<UiLinkBacklog> backlog;  // counts the frames queued
  bool closing = false;                    // no more items come; end once the queue is empty
  bool done = false;                       // the thread has written or dropped everything
};

namespace {

// Writes all of `frame`, in pieces no larger than what a pipe that polls
// writable accepts without blocking, so that cancelling interrupts it.
bool WriteFrame(GOutputStream* output, const std::vector<uint8_t>& frame,
                GCancellable* cancellable) {
  size_t offset = 0;
  while (offset < frame.size()) {
    g_autoptr(GError) error = nullptr;
    const size_t piece = std::min<size_t>(frame.size() - offset, PIPE_BUF);
    const gssize n =
        g_output_stream_write(output, frame.data() + offset, piece, cancellable, &error);
    if (n < 0) {
      if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        UiLinkWarning("the user interface stopped reading; replies are lost");
      } else if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_BROKEN_PIPE)) {
        UiLinkWarning(std::string("writing failed: ") + error->message);
      }
      return false;
    }
    offset += static_cast<size_t>(n);
  }
  return true;
}

// The thread's whole life: writes the queue's frames and runs its markers in
// order until the owner closes it. Owns `output` and `cancellable`.
void WriteFrames(GOutputStream* owned_output, GCancellable* owned_cancellable,
                 std::shared_ptr<UiLinkWriter::Queue> queue) {
  g_autoptr(GOutputStream) output = owned_output;
  g_autoptr(GCancellable) cancellable = owned_cancellable;
  size_t lost = 0;
  std::unique_lock<std::mutex> lock(queue->mutex);
  for (;;) {
    queue->changed.wait(lock, [&queue] { return !queue->items.empty() || queue->closing; });
    if (queue->items.empty()) break;
    UiLinkWriter::Queue::Item item = std::move(queue->items.front());
    queue->items.pop_front();
    lock.unlock();
    if (auto* frame = std::get_if<std::vector<uint8_t>>(&item)) {
      if (lost > 0 || g_cancellable_is_cancelled(cancellable) ||
          !WriteFrame(output, *frame, cancellable)) {
        ++lost;
      }
      queue->backlog->remove(frame->size());
    } else {
      std::get<std::function<void()>>(item)();
    }
    lock.lock();
  }
  if (lost > 0) UiLinkWarning(std::to_string(lost) + " reply frames could not be written");
  queue->done = true;
  queue->changed.notify_all();
}

}  // namespace

UiLinkWriter::UiLinkWriter(GOutputStream* output, std::shared_ptr<UiLinkBacklog> backlog)
    : queue_([&backlog] {
        auto queue = std::make_shared<Queue>();
        queue->backlog = std::move(backlog);
        return queue;
      }()),
      cancellable_(g_cancellable_new()),
      thread_(WriteFrames, output, G_CANCELLABLE(g_object_ref(cancellable_)), queue_) {}

UiLinkWriter::~UiLinkWriter() {
  {
    std::unique_lock<std::mutex> lock(queue_->mutex);
    queue_->closing = true;
    queue_->changed.notify_all();
    if (!queue_->changed.wait_for(lock, kCloseDeadline, [this] { return queue_->done; })) {
      g_cancellable_cancel(cancellable_);
    }
  }
  thread_.join();
  g_object_unref(cancellable_);
}

void UiLinkWriter::send(std::vector<uint8_t> frame) {
  std::lock_guard<std::mutex> lock(queue_->mutex);
  queue_->backlog->add(frame.size());
  queue_->items.emplace_back(std::move(frame));
  queue_->changed.notify_all();
}

void UiLinkWriter::afterWritten(std::function<void()> marker) {
  std::lock_guard<std::mutex> lock(queue_->mutex);
  queue_->items.emplace_back(std::move(marker));
  queue_->changed.notify_all();
}

void UiLinkWriter::abandon() { g_cancellable_cancel(cancellable_); }
