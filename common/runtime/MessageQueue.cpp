#include "runtime/MessageQueue.h"

#include "runtime/ReturnCode.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// The queue table, in creation order, under the class lock of the queue type.
KTX_MessageQueue *g_apoQueues[KTX_MessageQueue::c_i32TableSize];
int32_t g_i32QueueCount = 0;

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline (never negative), or -1 when waiting for ever.
int32_t Remaining(bool p_bForever, Clock::time_point p_oDeadline) {
  if (p_bForever) {
    return -1;
  }
  // Rounded up, so that a wait that runs out has reached the deadline.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(p_oDeadline - Clock::now()).count();
  return left > 0 ? static_cast<int32_t>(left) : 0;
}

} // namespace

KTX_MessageQueue::KTX_MessageQueue(const char *p_szName, int32_t p_i32Parameter, int32_t p_i32Capacity)
    : KTX_BaseClass(KTX_BASE_CLASS_MESSAGE_QUEUE), c_i32Parameter(p_i32Parameter), c_oNotEmpty(true),
      c_oNotFull(false), c_ppoEntries(nullptr), c_i32Capacity(p_i32Capacity < 1 ? 1 : p_i32Capacity), c_i32Head(0),
      c_i32Count(0) {
  c_oName.SetStackVariable();
  if (p_szName != nullptr) {
    c_oName.Assign(p_szName);
  } else {
    char name[32];
    std::snprintf(name, sizeof name, "KTX_MsgQueue_%02d", GetInstanceNumber());
    c_oName.Assign(name);
  }
  c_ppoEntries = new void *[static_cast<size_t>(c_i32Capacity)]();
  KTX_ClassLockGuard guard(KTX_BASE_CLASS_MESSAGE_QUEUE);
  if (g_i32QueueCount < c_i32TableSize) {
    g_apoQueues[g_i32QueueCount++] = this;
  }
}

KTX_MessageQueue::~KTX_MessageQueue() {
  {
    KTX_ClassLockGuard guard(KTX_BASE_CLASS_MESSAGE_QUEUE);
    for (int32_t i = 0; i < g_i32QueueCount; ++i) {
      if (g_apoQueues[i] == this) {
        g_apoQueues[i] = g_apoQueues[--g_i32QueueCount];
        g_apoQueues[g_i32QueueCount] = nullptr;
        break;
      }
    }
  }
  delete[] c_ppoEntries;
}

int32_t KTX_MessageQueue::Put(void *p_poEntry, int32_t p_i32TimeoutMs) {
  const bool forever = p_i32TimeoutMs < 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : p_i32TimeoutMs);
  for (;;) {
    {
      OsalThreadMutexGuard guard(c_oStoreLock);
      if (c_i32Count < c_i32Capacity) {
        c_ppoEntries[(c_i32Head + c_i32Count) % c_i32Capacity] = p_poEntry;
        ++c_i32Count;
        c_oNotEmpty.Signal();
        // Leave the event set for the next writer while there is still room.
        if (c_i32Count < c_i32Capacity) {
          c_oNotFull.Signal();
        }
        return KTX_RC_OK;
      }
    }
    // Full: wait for a reader to make room, never beyond the deadline.
    if (!forever && Clock::now() >= deadline) {
      return KTX_RC_TIME_OUT;
    }
    if (c_oNotFull.Wait(Remaining(forever, deadline)) != KTX_RC_OK) {
      return KTX_RC_TIME_OUT;
    }
  }
}

int32_t KTX_MessageQueue::Wait(void *&p_rpoEntry, int32_t p_i32TimeoutMs) {
  p_rpoEntry = nullptr;
  const bool forever = p_i32TimeoutMs < 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : p_i32TimeoutMs);
  for (;;) {
    {
      OsalThreadMutexGuard guard(c_oStoreLock);
      if (c_i32Count > 0) {
        p_rpoEntry = c_ppoEntries[c_i32Head];
        c_ppoEntries[c_i32Head] = nullptr;
        c_i32Head = (c_i32Head + 1) % c_i32Capacity;
        --c_i32Count;
        c_oNotFull.Signal();
        if (c_i32Count > 0) {
          c_oNotEmpty.Signal();
        }
        return KTX_RC_OK;
      }
    }
    if (!forever && Clock::now() >= deadline) {
      return KTX_RC_TIME_OUT;
    }
    if (c_oNotEmpty.Wait(Remaining(forever, deadline)) != KTX_RC_OK) {
      return KTX_RC_TIME_OUT;
    }
  }
}

int32_t KTX_MessageQueue::GetCount() {
  OsalThreadMutexGuard guard(c_oStoreLock);
  return c_i32Count;
}

KTX_MessageQueue *FindMessageQueue(const char *p_szName) {
  if (p_szName == nullptr) {
    return nullptr;
  }
  KTX_ClassLockGuard guard(KTX_BASE_CLASS_MESSAGE_QUEUE);
  for (int32_t i = 0; i < g_i32QueueCount; ++i) {
    if (std::strcmp(g_apoQueues[i]->GetQueueName(), p_szName) == 0) {
      return g_apoQueues[i];
    }
  }
  return nullptr;
}
