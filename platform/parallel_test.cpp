#include "platform/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(ParallelFor, RunsEveryIndexExactlyOnce) {
  for (size_t count : {size_t(0), size_t(1), size_t(2), size_t(7), size_t(1000)}) {
    for (unsigned threads : {0u, 1u, 2u, 3u, 8u, 64u}) {
      std::vector<std::atomic<int>> runs(count);
      platform::ParallelFor(count, threads, [&runs](size_t i) { runs[i].fetch_add(1); });
      for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(runs[i].load(), 1) << "index " << i << " of " << count << ", " << threads << " threads";
      }
    }
  }
}

TEST(ParallelFor, OneThreadRunsInOrderOnTheCaller) {
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<size_t> order;
  bool elsewhere = false;
  platform::ParallelFor(50, 1, [&](size_t i) {
    order.push_back(i);
    elsewhere = elsewhere || std::this_thread::get_id() != caller;
  });
  ASSERT_EQ(order.size(), 50u);
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(elsewhere);
}

TEST(ParallelFor, SeveralThreadsRunAtTheSameTime) {
  // Two calls that each wait for the other to start can only both finish
  // when they run at the same time. The wait is bounded, so a ParallelFor
  // that ran them one after another fails instead of hanging.
  std::atomic<int> started{0};
  std::atomic<int> met{0};
  platform::ParallelFor(2, 2, [&](size_t) {
    started.fetch_add(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (started.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    if (started.load() == 2) met.fetch_add(1);
  });
  EXPECT_EQ(met.load(), 2);
}

}  // namespace
