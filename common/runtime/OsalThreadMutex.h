#pragma once
// The one lock of the system: recursive, owned by a thread, released with the key
// its acquisition handed back and in reverse order of acquisition. Misuse (an
// unlock by another thread, a key that does not match the nesting) is logged at
// FATAL level and otherwise tolerated.

#include <atomic>
#include <cstdint>
#include <mutex>

class OsalThreadMutex {
public:
  OsalThreadMutex();
  OsalThreadMutex(const OsalThreadMutex &) = delete;
  OsalThreadMutex &operator=(const OsalThreadMutex &) = delete;

  // Acquire; p_ri32Key receives the nesting level reached (1 for the first acquisition).
  void Lock(int32_t &p_ri32Key);
  // Release the acquisition that handed back p_i32Key.
  void Unlock(int32_t p_i32Key);

  // For diagnostics and tests.
  int32_t GetNesting() const { return c_i32Nesting.load(std::memory_order_relaxed); }
  uint32_t GetOwner() const { return c_u32Owner.load(std::memory_order_relaxed); }

private:
  // Written only by the owning thread; atomics so that other threads may read
  // them when they check ownership or report misuse.
  std::atomic<int32_t> c_i32Nesting;
  // The lock itself: taken by the first acquisition, released by the last.
  // A plain mutex rather than a binary semaphore: no waiting is ever timed, and
  // an uncontended lock costs no system call.
  std::mutex c_oMutex;
  std::atomic<uint32_t> c_u32Owner;
};

// Holds an OsalThreadMutex for a scope and releases it with the right key.
class OsalThreadMutexGuard {
public:
  explicit OsalThreadMutexGuard(OsalThreadMutex &p_roMutex) : c_roMutex(p_roMutex), c_i32Key(0) {
    c_roMutex.Lock(c_i32Key);
  }
  ~OsalThreadMutexGuard() { c_roMutex.Unlock(c_i32Key); }
  OsalThreadMutexGuard(const OsalThreadMutexGuard &) = delete;
  OsalThreadMutexGuard &operator=(const OsalThreadMutexGuard &) = delete;

private:
  OsalThreadMutex &c_roMutex;
  int32_t c_i32Key;
};
