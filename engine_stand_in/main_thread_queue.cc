#include "engine_stand_in/main_thread_queue.h"

#include <glib.h>

#include <deque>
#include <mutex>
#include <utility>

namespace {

// Work waiting for the main thread. Items cross threads here, under this
// lock, so the hand-over is ordered for any checker of the program's
// threads, not only inside GLib. Lives as long as the process.
struct MainWork {
  std::mutex mutex;
  std::deque<std::function<void()>> items;
};

MainWork& PendingMainWork() {
  static auto* work = new MainWork;
  return *work;
}

}  // namespace

void PostToMainThread(std::function<void()> work) {
  MainWork& pending = PendingMainWork();
  {
    std::lock_guard<std::mutex> lock(pending.mutex);
    pending.items.push_back(std::move(work));
  }
  // One idle source per item: idle sources of one priority run in the order
  // added, one dispatch each, so items run in the order posted.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer) -> gboolean {
        MainWork& queued = PendingMainWork();
        std::function<void()> item;
        {
          std::lock_guard<std::mutex> lock(queued.mutex);
          item = std::move(queued.items.front());
          queued.items.pop_front();
        }
        item();
        return G_SOURCE_REMOVE;
      },
      nullptr, nullptr);
}

void PostToMainThreadAfter(unsigned delay_ms, std::function<void()> work) {
  g_timeout_add_full(
      G_PRIORITY_DEFAULT, delay_ms,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      new std::function<void()>(std::move(work)),
      [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}
