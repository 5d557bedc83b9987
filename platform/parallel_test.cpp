#include "platform/parallel.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

TEST(Background, RunsBesideItsStarterWhileBothSpreadWork) {
  // The background piece and the starter each spread work over the pool at
  // the same time, many times over; every index runs once, and Wait returns
  // only after the piece has run.
  for (int round = 0; round < 200; ++round) {
    std::vector<std::atomic<int>> mine(64), theirs(64);
    std::atomic<bool> done{false};
    platform::Background background;
    background.Start([&] {
      platform::ParallelFor(theirs.size(), 3, [&](size_t i) { theirs[i].fetch_add(1); });
      done = true;
    });
    platform::ParallelFor(mine.size(), 2, [&](size_t i) { mine[i].fetch_add(1); });
    background.Wait();
    ASSERT_TRUE(done.load()) << "round " << round;
    for (size_t i = 0; i < mine.size(); ++i) ASSERT_EQ(mine[i] + theirs[i], 2) << "index " << i;
  }
}

#ifndef _WIN32
TEST(Background, ChildOfAForkFinishesWithoutThePoolsHelpers) {
  // The pool's helpers exist in this process only; a forked child that
  // spreads work and starts a piece does all of it itself. The forks land
  // while another thread keeps the helpers busy, so some land while a
  // helper holds the pool's lock; a child that waits for it is killed.
  platform::ParallelFor(8, 4, [](size_t) {});  // the pool is running here
  std::atomic<bool> forking{true};
  std::thread busy([&forking] {
    while (forking) platform::ParallelFor(64, 4, [](size_t) {});
  });
  for (int round = 0; round < 20; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::atomic<int> runs{0};
      platform::Background background;
      background.Start([&] { runs += 100; });
      platform::ParallelFor(10, 4, [&](size_t) { runs += 1; });
      background.Wait();
      _exit(runs == 110 ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (kill(child, SIGKILL) == 0) waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child " << round << " hung or failed";
  }
  forking = false;
  busy.join();
}
#endif

}  // namespace
