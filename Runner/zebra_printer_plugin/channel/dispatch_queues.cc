#include "channel/dispatch_queues.h"

#include <glib.h>

#include <atomic>
#include <deque>
#include <mutex>

namespace corvella {

namespace {

using Work = std::function<void()>;

// Work waiting for a queue. The items cross threads here, under this lock,
// so the hand-over is ordered for any checker of the program's threads, not
// only inside GLib.
class WorkList {
 public:
  void push(Work work) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(work));
  }
  Work pop() {
    std::lock_guard<std::mutex> lock(mutex_);
    Work work = std::move(items_.front());
    items_.pop_front();
    return work;
  }

 private:
  std::mutex mutex_;
  std::deque<Work> items_;
};

// Both live as long as the process: items still running at exit must not
// find them gone.
WorkList& MainItems() {
  static auto* items = new WorkList;
  return *items;
}

WorkList& BackgroundItems() {
  static auto* items = new WorkList;
  return *items;
}

// One pool thread takes one item per push, in the order pushed.
void RunBackgroundItem(gpointer, gpointer) { BackgroundItems().pop()(); }

GThreadPool* BackgroundPool() {
  static GThreadPool* pool = [] {
    g_autoptr(GError) error = nullptr;
    GThreadPool* made =
        g_thread_pool_new(RunBackgroundItem, nullptr, kBackgroundThreads, FALSE, &error);
    if (made == nullptr) g_error("Cannot make the background thread pool: %s", error->message);
    return made;
  }();
  return pool;
}

// Set while a retry is pending on the main context.
std::atomic<bool> g_retry_pending{false};

// Starts pool threads for the items that are waiting, once a second on the
// main context until it succeeds.
gboolean RetryStartingThreads(gpointer) {
  g_autoptr(GError) error = nullptr;
  if (g_thread_pool_unprocessed(BackgroundPool()) > 0 &&
      !g_thread_pool_set_max_threads(BackgroundPool(), kBackgroundThreads, &error)) {
    return G_SOURCE_CONTINUE;
  }
  g_retry_pending = false;
  return G_SOURCE_REMOVE;
}

}  // namespace

void RunOnMainThread(Work work) {
  MainItems().push(std::move(work));
  // One idle source per item: idle sources of one priority run in the order
  // added, one dispatch each, so items run in the order queued.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer) -> gboolean {
        MainItems().pop()();
        return G_SOURCE_REMOVE;
      },
      nullptr, nullptr);
}

void RunInBackground(Work work) {
  BackgroundItems().push(std::move(work));
  g_autoptr(GError) error = nullptr;
  // A push fails only when no thread could be started for the item, and the
  // item is queued all the same: it runs on the next pool thread that is
  // free or can be started. It is never run here as well, which would run
  // it twice and hold the caller (the main thread) for a whole print.
  if (!g_thread_pool_push(BackgroundPool(), GINT_TO_POINTER(1), &error)) {
    g_warning("Background queue: %s; the item waits for a thread", error->message);
    if (!g_retry_pending.exchange(true)) g_timeout_add_seconds(1, RetryStartingThreads, nullptr);
  }
}

}  // namespace corvella
