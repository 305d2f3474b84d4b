#pragma once
// A named, bounded queue of pointers between threads. Put waits while the queue
// is full, Wait while it is empty, each for at most the time given. Entries come
// out in the order they went in. The queue does not own what its entries point to.

#include "runtime/BaseClass.h"
#include "runtime/OsalSemaphore.h"
#include "runtime/OsalThreadMutex.h"
#include "runtime/StringAscii.h"

#include <cstdint>

class KTX_MessageQueue : public KTX_BaseClass {
public:
  // Queues the process-wide table holds; later ones cannot be found by name.
  static constexpr int32_t c_i32TableSize = 63;

  // p_szName may be null: the queue is then named "KTX_MsgQueue_%02d" after the
  // number of queues constructed so far, this one included. A capacity below 1
  // is taken as 1.
  KTX_MessageQueue(const char *p_szName, int32_t p_i32Parameter, int32_t p_i32Capacity);
  ~KTX_MessageQueue() override;

  // Adds an entry, waiting up to p_i32TimeoutMs (-1: for ever) for room.
  // Returns 0, or KTX_RC_TIME_OUT when the queue stayed full.
  int32_t Put(void *p_poEntry, int32_t p_i32TimeoutMs);
  // Takes the oldest entry, waiting up to p_i32TimeoutMs (-1: for ever) for one.
  // Returns 0, or KTX_RC_TIME_OUT (p_rpoEntry null) when the queue stayed empty.
  int32_t Wait(void *&p_rpoEntry, int32_t p_i32TimeoutMs);

  const char *GetQueueName() const { return c_oName.GetText(); }
  int32_t GetParameter() const { return c_i32Parameter; }
  int32_t GetCapacity() const { return c_i32Capacity; }
  int32_t GetCount();

private:
  KTX_StringAscii c_oName;
  int32_t c_i32Parameter;
  // The store: entries c_i32Head.. (wrapping) under c_oStoreLock; the two binary
  // semaphores act as auto-reset events that wake one waiter each.
  OsalThreadMutex c_oStoreLock;
  OsalSemaphore c_oNotEmpty;
  OsalSemaphore c_oNotFull;
  void **c_ppoEntries;
  int32_t c_i32Capacity;
  int32_t c_i32Head;
  int32_t c_i32Count;
};

// The first queue in the table with that name, or null.
KTX_MessageQueue *FindMessageQueue(const char *p_szName);
