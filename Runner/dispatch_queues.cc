#include "Runner/dispatch_queues.h"

#include <glib.h>

#include <memory>

namespace corvella {

namespace {

using Work = std::function<void()>;

void RunWork(gpointer data, gpointer) {
  std::unique_ptr<Work> work(static_cast<Work*>(data));
  (*work)();
}

GThreadPool* BackgroundPool() {
  // Made once and kept for the life of the process: items still running at
  // exit must not find it gone.
  static GThreadPool* pool = [] {
    g_autoptr(GError) error = nullptr;
    GThreadPool* made = g_thread_pool_new(RunWork, nullptr, kBackgroundThreads, FALSE, &error);
    if (made == nullptr) g_error("Cannot make the background thread pool: %s", error->message);
    return made;
  }();
  return pool;
}

}  // namespace

void RunOnMainThread(Work work) {
  // Idle sources of one priority run in the order added, one dispatch each.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<Work*>(data))();
        return G_SOURCE_REMOVE;
      },
      new Work(std::move(work)), [](gpointer data) { delete static_cast<Work*>(data); });
}

void RunInBackground(Work work) {
  auto* item = new Work(std::move(work));
  g_autoptr(GError) error = nullptr;
  // A non-exclusive pool only fails to push when it cannot start a thread
  // and has none; the item then runs here rather than being lost.
  if (!g_thread_pool_push(BackgroundPool(), item, &error)) {
    g_warning("Background queue: %s; running the item on the calling thread", error->message);
    RunWork(item, nullptr);
  }
}

}  // namespace corvella
