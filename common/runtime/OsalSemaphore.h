#pragma once
// A binary semaphore: the count is 0 (taken) or 1 (free).

#include <condition_variable>
#include <cstdint>
#include <mutex>

class OsalSemaphore {
public:
  // p_bTaken: create it taken (count 0) instead of free (count 1).
  explicit OsalSemaphore(bool p_bTaken = false);
  OsalSemaphore(const OsalSemaphore &) = delete;
  OsalSemaphore &operator=(const OsalSemaphore &) = delete;

  // Take the semaphore; p_i32TimeoutMs of -1 waits for ever.
  // Returns 0, or KTX_RC_TIME_OUT when the time ran out.
  int32_t Wait(int32_t p_i32TimeoutMs);
  // Make the count 1 (signalling a free semaphore leaves it at 1).
  void Signal();

private:
  std::mutex c_oMutex;
  std::condition_variable c_oCondition;
  int32_t c_i32Count;
  static constexpr int32_t c_i32MaxCount = 1;
};
