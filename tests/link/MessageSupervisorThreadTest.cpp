// The sequence counter is the one piece of state every message shares: threads
// drawing numbers at once never get the same one.

#include "link/MessageSupervisor.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

TEST(MessageSupervisorThreadTest, ConcurrentSequenceNumbersAreDistinct) {
  constexpr int kThreads = 4;
  // Fewer than the 65280 numbers a 16-bit run holds, so none may repeat.
  constexpr int kPerThread = 10000;
  std::vector<std::vector<uint16_t>> drawn(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&drawn, t] {
      for (int i = 0; i < kPerThread; ++i) {
        drawn[t].push_back(KTX_MessageSupervisor::NextSequence());
      }
    });
  }
  for (std::thread &thread : threads) {
    thread.join();
  }
  std::set<uint16_t> all;
  for (const auto &numbers : drawn) {
    for (uint16_t n : numbers) {
      EXPECT_NE(n & 0xFF, 0);
      all.insert(n);
    }
  }
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
}
