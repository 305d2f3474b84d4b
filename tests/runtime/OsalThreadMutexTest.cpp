#include "runtime/OsalThreadMutex.h"
#include "runtime/OsalSemaphore.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Waits for a condition with a bounded deadline instead of sleeping.
template <typename Pred> bool WaitFor(Pred pred, int timeoutMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(OsalThreadMutex, NestedLockReleasesInReverseOrderThenAnotherThreadGetsKeyOne) {
  UseFreshLogFile("nested");
  OsalThreadMutex mutex;
  int32_t k1 = 0, k2 = 0;
  mutex.Lock(k1);
  mutex.Lock(k2);
  EXPECT_EQ(k1, 1);
  EXPECT_EQ(k2, 2);

  std::atomic<bool> waiting{false};
  std::atomic<int32_t> otherKey{-1};
  std::thread other([&] {
    waiting = true;
    int32_t k = 0;
    mutex.Lock(k);
    otherKey = k;
    mutex.Unlock(k);
  });
  ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
  mutex.Unlock(k2);
  EXPECT_EQ(otherKey.load(), -1) << "still held at nesting 1";
  mutex.Unlock(k1);
  other.join();
  EXPECT_EQ(otherKey.load(), 1);
  EXPECT_EQ(mutex.GetNesting(), 0);
  EXPECT_EQ(mutex.GetOwner(), 0u);
  EXPECT_FALSE(LogContains("UnLock"));
}

TEST(OsalThreadMutex, NestingMismatchIsLoggedAndStillReleasesOneLevel) {
  UseFreshLogFile("mismatch");
  OsalThreadMutex mutex;
  int32_t k1 = 0, k2 = 0;
  mutex.Lock(k1);
  mutex.Lock(k2);
  mutex.Unlock(1);
  EXPECT_EQ(LogCount("*FATAL* "), 1);
  EXPECT_TRUE(LogContains("UnLock nesting mismatch"));
  EXPECT_EQ(mutex.GetNesting(), 1);
  mutex.Unlock(1);
  EXPECT_EQ(mutex.GetNesting(), 0);
}

TEST(OsalThreadMutex, UnlockByWrongThreadIsLoggedAndOwnerKeepsIt) {
  UseFreshLogFile("wrongthread");
  OsalThreadMutex mutex;
  int32_t key = 0;
  mutex.Lock(key);
  const uint32_t owner = mutex.GetOwner();
  std::thread other([&] { mutex.Unlock(1); });
  other.join();
  EXPECT_TRUE(LogContains("UnLock called by wrong thread"));
  EXPECT_EQ(mutex.GetOwner(), owner);
  EXPECT_EQ(mutex.GetNesting(), 1);
  mutex.Unlock(key);
  EXPECT_EQ(mutex.GetOwner(), 0u);
}

TEST(OsalThreadMutex, ManyThreadsIncrementUnderTheLockWithoutLoss) {
  OsalThreadMutex mutex;
  int64_t counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        int32_t a = 0, b = 0;
        mutex.Lock(a);
        mutex.Lock(b);
        ++counter;
        mutex.Unlock(b);
        mutex.Unlock(a);
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

TEST(OsalSemaphore, WaitTimesOutWhenTakenAndSignalIsIdempotent) {
  OsalSemaphore sem(true);
  EXPECT_EQ(sem.Wait(10), KTX_RC_TIME_OUT);
  sem.Signal();
  sem.Signal();
  EXPECT_EQ(sem.Wait(0), KTX_RC_OK);
  EXPECT_EQ(sem.Wait(0), KTX_RC_TIME_OUT) << "a double signal still leaves a count of one";
}

} // namespace
