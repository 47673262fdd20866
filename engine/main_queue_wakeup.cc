#include "engine/main_queue_wakeup.h"

#include <glib.h>

#include "engine/main_queue.h"

MainQueueWakeup::MainQueueWakeup() : state_(std::make_shared<State>()) {
  MainQueue& queue = MainQueue::shared();
  queue.bindToCurrentThread();
  std::shared_ptr<State> state = state_;
  queue.setWakeup([state] { Schedule(state); });
  // Items posted before the wakeup existed.
  Schedule(state_);
}

MainQueueWakeup::~MainQueueWakeup() { MainQueue::shared().setWakeup(nullptr); }

void MainQueueWakeup::Schedule(const std::shared_ptr<State>& state) {
  if (state->pending.exchange(true)) return;
  // g_idle_add_full attaches to the default main context and wakes it; it is
  // safe from any thread.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto* held = static_cast<std::shared_ptr<State>*>(data);
        // Cleared before draining: a post that lands during the drain
        // schedules a new dispatch instead of being missed.
        (*held)->pending.store(false);
        MainQueue::shared().drain();
        return G_SOURCE_REMOVE;
      },
      new std::shared_ptr<State>(state),
      [](gpointer data) { delete static_cast<std::shared_ptr<State>*>(data); });
}
