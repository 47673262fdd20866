#include "dispatch_queues.h"

#include <glib.h>

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
  // A non-exclusive pool only fails to push when it cannot start a thread
  // and has none; the item then runs here rather than being lost.
  if (!g_thread_pool_push(BackgroundPool(), GINT_TO_POINTER(1), &error)) {
    g_warning("Background queue: %s; running the item on the calling thread", error->message);
    RunBackgroundItem(nullptr, nullptr);
  }
}

}  // namespace corvella
