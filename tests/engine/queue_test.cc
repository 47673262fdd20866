#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/background_queue.h"
#include "engine/main_queue.h"

namespace {

TEST(MainQueue, RunsItemsInPostedOrderOnTheMainThreadFromAnyThread) {
  MainQueue& queue = MainQueue::shared();
  queue.bindToCurrentThread();
  std::vector<int> order;
  std::vector<std::thread> posters;
  // Each poster's items keep their own order; items posted from inside an
  // item run in the same drain, after the ones already queued.
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&queue, &order, t] {
      for (int i = 0; i < 100; ++i) {
        queue.post([&queue, &order, t, i] {
          EXPECT_TRUE(queue.isMainThread());
          order.push_back(t * 1000 + i);
        });
      }
    });
  }
  for (auto& poster : posters) poster.join();
  queue.post([&queue, &order] { queue.post([&order] { order.push_back(-1); }); });
  queue.drain();
  ASSERT_EQ(order.size(), 401u);
  EXPECT_EQ(order.back(), -1);
  std::vector<int> last(4, -1);
  for (size_t i = 0; i + 1 < order.size(); ++i) {
    int t = order[i] / 1000;
    EXPECT_GT(order[i] % 1000, last[static_cast<size_t>(t)]);
    last[static_cast<size_t>(t)] = order[i] % 1000;
  }
}

TEST(BackgroundQueue, RunsAtLeastSixteenItemsAtOnce) {
  BackgroundQueue& queue = BackgroundQueue::shared();
  std::mutex mutex;
  std::condition_variable all_started;
  int started = 0;
  bool release = false;
  constexpr int kItems = 16;
  for (int i = 0; i < kItems; ++i) {
    queue.post([&] {
      std::unique_lock<std::mutex> lock(mutex);
      ++started;
      all_started.notify_all();
      // Every item waits for all the others: this finishes only if they
      // really run at the same time.
      all_started.wait(lock, [&] { return started == kItems || release; });
    });
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    bool ok = all_started.wait_for(lock, std::chrono::seconds(30),
                                   [&] { return started == kItems; });
    release = true;
    all_started.notify_all();
    EXPECT_TRUE(ok) << "only " << started << " items ran at once";
  }
  queue.waitIdle();
  EXPECT_EQ(queue.inFlight(), 0u);
}

TEST(MainQueue, RunUntilIdleWaitsForBackgroundItemsAndTheirAnswers) {
  MainQueue& main = MainQueue::shared();
  main.bindToCurrentThread();
  std::atomic<int> answered{0};
  for (int i = 0; i < 32; ++i) {
    BackgroundQueue::shared().post([&main, &answered] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      main.post([&answered] { ++answered; });
    });
  }
  main.runUntilIdle();
  EXPECT_EQ(answered.load(), 32);
}

}  // namespace
