#pragma once
// A platform thread: created with default attributes running one entry function,
// ended by that function returning. The owner either joins it (once its work is
// known to be over) or lets it go.

#include <cstdint>
#include <pthread.h>

class OsalThread {
public:
  using Entry = void (*)(void *p_poArgument);

  OsalThread();
  ~OsalThread();
  OsalThread(const OsalThread &) = delete;
  OsalThread &operator=(const OsalThread &) = delete;

  // Starts a new platform thread running p_pfnEntry(p_poArgument). Returns 0, or
  // KTX_RC_OPERATION_FAILED when the platform refused (nothing is started then).
  // A thread still held from an earlier Create must be joined or released first.
  int32_t Create(Entry p_pfnEntry, void *p_poArgument);
  // Waits until the thread has ended and frees its resources.
  void Join();
  // Lets the thread end on its own; its resources go when it ends.
  void Release();
  bool IsHeld() const { return c_bHeld; }

private:
  pthread_t c_oHandle;
  bool c_bHeld;
};
