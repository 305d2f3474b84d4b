#include "runtime/MessageQueue.h"
#include "runtime/ReturnCode.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

void *Entry(uintptr_t p_uValue) { return reinterpret_cast<void *>(p_uValue); }

TEST(MessageQueue, NamesAndTheQueueTable) {
  const int32_t before = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_MESSAGE_QUEUE).i32New;
  KTX_MessageQueue *named = new KTX_MessageQueue("ProbeQueue", 4, 10);
  KTX_MessageQueue *unnamed = new KTX_MessageQueue(nullptr, 0, 1);
  EXPECT_STREQ(named->GetQueueName(), "ProbeQueue");
  EXPECT_EQ(named->GetParameter(), 4);
  EXPECT_EQ(named->GetCapacity(), 10);
  char expected[32];
  std::snprintf(expected, sizeof expected, "KTX_MsgQueue_%02d", before + 2);
  EXPECT_STREQ(unnamed->GetQueueName(), expected);

  EXPECT_EQ(FindMessageQueue("ProbeQueue"), named);
  EXPECT_EQ(FindMessageQueue(expected), unnamed);
  named->Delete();
  EXPECT_EQ(FindMessageQueue("ProbeQueue"), nullptr);
  EXPECT_EQ(FindMessageQueue(expected), unnamed);
  unnamed->Delete();
  EXPECT_EQ(FindMessageQueue(expected), nullptr);
}

TEST(MessageQueue, EntriesComeOutInOrderAndTheBoundHolds) {
  KTX_MessageQueue queue("Bounded", 0, 3);
  queue.SetStackVariable();
  void *entry = Entry(99);
  EXPECT_EQ(queue.Wait(entry, 0), KTX_RC_TIME_OUT);
  EXPECT_EQ(entry, nullptr);

  // Wrap around the store twice.
  uintptr_t next = 1;
  uintptr_t expected = 1;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(queue.Put(Entry(next++), 0), KTX_RC_OK);
    }
    EXPECT_EQ(queue.GetCount(), 3);
    EXPECT_EQ(queue.Put(Entry(1000), 0), KTX_RC_TIME_OUT);
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(queue.Wait(entry, 0), KTX_RC_OK);
      EXPECT_EQ(entry, Entry(expected++));
    }
    EXPECT_EQ(queue.Put(Entry(next++), 0), KTX_RC_OK);
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(queue.Wait(entry, 0), KTX_RC_OK);
      EXPECT_EQ(entry, Entry(expected++));
    }
    EXPECT_EQ(queue.GetCount(), 0);
  }
  // A null entry is an entry like any other.
  EXPECT_EQ(queue.Put(nullptr, 0), KTX_RC_OK);
  EXPECT_EQ(queue.Wait(entry, 0), KTX_RC_OK);
  EXPECT_EQ(queue.GetCount(), 0);
}

TEST(MessageQueue, TimedWaitsLastTheirTime) {
  KTX_MessageQueue queue("Timed", 0, 1);
  queue.SetStackVariable();
  void *entry = nullptr;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.Wait(entry, 30), KTX_RC_TIME_OUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));

  ASSERT_EQ(queue.Put(Entry(1), 0), KTX_RC_OK);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.Put(Entry(2), 30), KTX_RC_TIME_OUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(MessageQueue, BlockedWaitersWakeWhenTheOtherSideMoves) {
  KTX_MessageQueue queue("Handoff", 0, 1);
  queue.SetStackVariable();
  std::atomic<int32_t> got{-1};
  std::atomic<bool> waiting{false};
  std::thread reader([&] {
    void *entry = nullptr;
    waiting = true;
    const int32_t rc = queue.Wait(entry, 10000);
    got = rc == KTX_RC_OK ? static_cast<int32_t>(reinterpret_cast<uintptr_t>(entry)) : -2;
  });
  ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
  EXPECT_EQ(queue.Put(Entry(7), 0), KTX_RC_OK);
  reader.join();
  EXPECT_EQ(got.load(), 7);

  ASSERT_EQ(queue.Put(Entry(1), 0), KTX_RC_OK);
  std::atomic<int32_t> putResult{-1};
  std::thread writer([&] { putResult = queue.Put(Entry(2), 10000); });
  void *entry = nullptr;
  ASSERT_EQ(queue.Wait(entry, 0), KTX_RC_OK);
  EXPECT_EQ(entry, Entry(1));
  writer.join();
  EXPECT_EQ(putResult.load(), KTX_RC_OK);
  ASSERT_EQ(queue.Wait(entry, 0), KTX_RC_OK);
  EXPECT_EQ(entry, Entry(2));
}

TEST(MessageQueue, ManyWritersAndReadersLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kReaders = 3;
  constexpr uintptr_t kPerWriter = 2000;
  KTX_MessageQueue queue("Busy", 0, 4);
  queue.SetStackVariable();

  std::vector<std::vector<uintptr_t>> received(kReaders);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (uintptr_t i = 1; i <= kPerWriter; ++i) {
        if (queue.Put(Entry(static_cast<uintptr_t>(w) << 20 | i), 10000) != KTX_RC_OK) {
          ++failures;
        }
      }
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&, r] {
      for (uintptr_t i = 0; i < kPerWriter * kWriters / kReaders; ++i) {
        void *entry = nullptr;
        if (queue.Wait(entry, 10000) != KTX_RC_OK) {
          ++failures;
          return;
        }
        received[r].push_back(reinterpret_cast<uintptr_t>(entry));
      }
    });
  }
  for (std::thread &t : threads) {
    t.join();
  }
  EXPECT_EQ(failures.load(), 0);
  // Every entry arrived exactly once, and each reader saw each writer's entries in order.
  std::vector<int> seen(kWriters * (kPerWriter + 1), 0);
  for (const std::vector<uintptr_t> &list : received) {
    std::vector<uintptr_t> last(kWriters, 0);
    for (uintptr_t value : list) {
      const uintptr_t writer = value >> 20;
      const uintptr_t index = value & 0xFFFFF;
      ASSERT_LT(writer, static_cast<uintptr_t>(kWriters));
      EXPECT_GT(index, last[writer]);
      last[writer] = index;
      ++seen[writer * (kPerWriter + 1) + index];
    }
  }
  for (int w = 0; w < kWriters; ++w) {
    for (uintptr_t i = 1; i <= kPerWriter; ++i) {
      EXPECT_EQ(seen[w * (kPerWriter + 1) + i], 1) << w << ":" << i;
    }
  }
  EXPECT_EQ(queue.GetCount(), 0);
}

} // namespace
