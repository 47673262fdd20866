// The plug-in's two queues: the main queue keeps order on the main thread,
// the background queue never serialises its items.
#include "channel/dispatch_queues.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(DispatchQueues, MainQueueRunsItemsOnTheMainThreadInTheOrderQueued) {
  GThread* main_thread = g_thread_self();
  std::vector<int> order;
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&order, main_thread, t] {
      for (int i = 0; i < 100; ++i) {
        corvella::RunOnMainThread([&order, main_thread, t, i] {
          EXPECT_EQ(g_thread_self(), main_thread);
          order.push_back(t * 1000 + i);
        });
      }
    });
  }
  for (auto& poster : posters) poster.join();
  // An item queued from inside an item runs after those already queued.
  bool inner_ran = false;
  corvella::RunOnMainThread([&] {
    EXPECT_FALSE(inner_ran);
    corvella::RunOnMainThread([&] {
      order.push_back(-1);
      inner_ran = true;
    });
    EXPECT_FALSE(inner_ran) << "an item must not run inside the code that queues it";
  });
  while (!inner_ran) g_main_context_iteration(nullptr, TRUE);
  ASSERT_EQ(order.size(), 401u);
  EXPECT_EQ(order.back(), -1);
  std::vector<int> last(4, -1);
  for (size_t i = 0; i + 1 < order.size(); ++i) {
    const size_t t = static_cast<size_t>(order[i] / 1000);
    EXPECT_GT(order[i] % 1000, last[t]);
    last[t] = order[i] % 1000;
  }
}

TEST(DispatchQueues, BackgroundQueueRunsSixtyFourItemsAtOnce) {
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  int finished = 0;
  bool release = false;
  constexpr int kItems = corvella::kBackgroundThreads;
  for (int i = 0; i < kItems; ++i) {
    corvella::RunInBackground([&] {
      std::unique_lock<std::mutex> lock(mutex);
      ++started;
      changed.notify_all();
      // Every item waits for all the others: this ends only if they really
      // run at the same time.
      changed.wait(lock, [&] { return started == kItems || release; });
      ++finished;
      changed.notify_all();
    });
  }
  std::unique_lock<std::mutex> lock(mutex);
  const bool all =
      changed.wait_for(lock, std::chrono::seconds(60), [&] { return started == kItems; });
  release = true;
  changed.notify_all();
  EXPECT_TRUE(all) << "only " << started << " items ran at once";
  changed.wait(lock, [&] { return finished == kItems; });
}

// In a child process that may start no thread for a while: 0 when the item
// that found no thread ran once, on a pool thread, after threads could be
// started again; else the step that failed.
int QueueAnItemWhileNoThreadCanStart() {
  // The limit on a user's threads does not hold for the superuser.
  if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 10;
  // One pool thread kept busy, so the next item needs a new one.
  static std::atomic<bool> busy{false}, release{false};
  corvella::RunInBackground([] {
    busy = true;
    while (!release) g_usleep(1000);
  });
  while (!busy) g_usleep(1000);
  rlimit limit{};
  if (getrlimit(RLIMIT_NPROC, &limit) != 0) return 11;
  const rlim_t usual = limit.rlim_cur;
  limit.rlim_cur = 0;
  if (setrlimit(RLIMIT_NPROC, &limit) != 0) return 12;

  static std::atomic<int> runs{0};
  static std::atomic<GThread*> ran_on{nullptr};
  corvella::RunInBackground([] {
    ran_on = g_thread_self();
    ++runs;
  });
  if (ran_on == g_thread_self()) return 1;  // ran on the queueing thread

  limit.rlim_cur = usual;
  if (setrlimit(RLIMIT_NPROC, &limit) != 0) return 13;
  const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (runs == 0 && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, FALSE);
  if (runs == 0) return 2;  // never ran, though threads can start again
  release = true;
  g_usleep(200 * 1000);
  return runs == 1 && ran_on != g_thread_self() ? 0 : 3;
}

TEST(DispatchQueuesDeathTest, AnItemThatFindsNoThreadRunsOnceOnAPoolThreadWhenOneCanStart) {
  // A child started afresh, whose pool has no thread yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(_exit(QueueAnItemWhileNoThreadCanStart()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
