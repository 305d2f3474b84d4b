#include "runtime/OsalThreadMutex.h"

#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"

OsalThreadMutex::OsalThreadMutex() : c_i32Nesting(0), c_u32Owner(0) {}

void OsalThreadMutex::Lock(int32_t &p_ri32Key) {
  const uint32_t self = OsalGetCurrentThreadId();
  if (c_u32Owner.load(std::memory_order_acquire) == self) {
    const int32_t nesting = c_i32Nesting.load(std::memory_order_relaxed);
    if (nesting > 0) {
      c_i32Nesting.store(nesting + 1, std::memory_order_relaxed);
      p_ri32Key = nesting + 1;
    } else {
      KTX_LOG(KTX_FATAL, "Lock Count Inconsistency");
      p_ri32Key = nesting;
    }
    return;
  }
  c_oMutex.lock();
  c_i32Nesting.store(1, std::memory_order_relaxed);
  c_u32Owner.store(self, std::memory_order_release);
  p_ri32Key = 1;
}

void OsalThreadMutex::Unlock(int32_t p_i32Key) {
  const uint32_t self = OsalGetCurrentThreadId();
  const uint32_t owner = c_u32Owner.load(std::memory_order_acquire);
  const int32_t nesting = c_i32Nesting.load(std::memory_order_relaxed);
  if (owner != self) {
    KTX_LOG(KTX_DBG1, "p_key{%d}  c_key{%d}  c_task{x%08x}  gettask{x%08x}", p_i32Key, nesting, owner, self);
    KTX_LOG(KTX_FATAL, "UnLock called by wrong thread");
    return;
  }
  if (p_i32Key != nesting) {
    KTX_LOG(KTX_DBG1, "p_key{%d}  c_key{%d}  c_task{x%08x}  gettask{x%08x}", p_i32Key, nesting, owner, self);
    KTX_LOG(KTX_FATAL, "UnLock nesting mismatch");
  } else if (nesting <= 0) {
    KTX_LOG(KTX_FATAL, "ThreadUnlock Overrun");
  }
  const int32_t remaining = nesting - 1;
  c_i32Nesting.store(remaining, std::memory_order_relaxed);
  if (remaining <= 0) {
    // An overrun leaves the count at or below zero; the lock is free either way.
    c_i32Nesting.store(0, std::memory_order_relaxed);
    c_u32Owner.store(0, std::memory_order_release);
    c_oMutex.unlock();
  }
}
