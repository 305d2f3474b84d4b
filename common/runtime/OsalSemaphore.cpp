#include "runtime/OsalSemaphore.h"

#include "runtime/ReturnCode.h"

#include <chrono>

OsalSemaphore::OsalSemaphore(bool p_bTaken) : c_i32Count(p_bTaken ? 0 : 1) {}

int32_t OsalSemaphore::Wait(int32_t p_i32TimeoutMs) {
  std::unique_lock<std::mutex> lock(c_oMutex);
  if (p_i32TimeoutMs < 0) {
    c_oCondition.wait(lock, [this] { return c_i32Count > 0; });
  } else if (!c_oCondition.wait_for(lock, std::chrono::milliseconds(p_i32TimeoutMs),
                                    [this] { return c_i32Count > 0; })) {
    return KTX_RC_TIME_OUT;
  }
  c_i32Count = 0;
  return KTX_RC_OK;
}

void OsalSemaphore::Signal() {
  // Notify before the mutex is released: the woken thread may go on to destroy
  // the object that owns this semaphore (the last reference released right
  // after a lock was handed over), and the condition must not be touched then.
  std::lock_guard<std::mutex> lock(c_oMutex);
  c_i32Count = c_i32MaxCount;
  c_oCondition.notify_one();
}
