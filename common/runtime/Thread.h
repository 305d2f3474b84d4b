#pragma once
// A named thread of the framework. Its body is either a run function or the Run()
// of a run object, called with (user, parameter). A thread is created stopped,
// runs from Start() until its body returns, and may be started again afterwards.
//
// Suspend() freezes a thread for good: from then on it never reports "stopped"
// and never touches its KTX_Thread again. A platform thread cannot be frozen in
// place from outside on this platform, so a suspended thread ends quietly as soon
// as its body returns; the framework suspends only threads whose body has said it
// is done (active objects, when they stop).
//
// Threads are never joined by their users. The KTX_Thread waits for its platform
// thread only where that cannot block (the body has returned: on destruction and
// on a restart); otherwise it lets the platform thread go.

#include "runtime/BaseClass.h"
#include "runtime/OsalThread.h"
#include "runtime/StringAscii.h"

#include <atomic>
#include <cstdint>
#include <memory>

class KTX_ThreadBaseClass;
struct KTX_ThreadRun;

using KTX_ThreadFunction = int32_t (*)(void *p_poUser, int32_t p_i32Parameter);

class KTX_Thread : public KTX_BaseClass {
public:
  // Threads the process-wide table holds; later ones are unknown to GetCurrentThread.
  static constexpr int32_t c_i32TableSize = 63;

  // p_szName may be null: the thread is then named "KTX_Thread_%02d" after the
  // number of threads constructed so far, this one included.
  KTX_Thread(KTX_ThreadFunction p_pfnRun, const char *p_szName, int32_t p_i32Priority, int32_t p_i32StackSize,
             void *p_poUser, int32_t p_i32Parameter);
  KTX_Thread(KTX_ThreadBaseClass *p_poRunObject, const char *p_szName, int32_t p_i32Priority,
             int32_t p_i32StackSize, void *p_poUser, int32_t p_i32Parameter);
  ~KTX_Thread() override;

  // Starts the platform thread; returns once it has taken up its id. Already
  // running: logged, KTX_RC_INVALID_CALL. The platform refusing a new thread:
  // KTX_RC_OPERATION_FAILED, and the thread stays stopped.
  int32_t Start();
  // If running, freeze the thread for good and clear running.
  void Suspend();

  bool IsRunning() const { return c_bRunning.load(std::memory_order_acquire); }
  bool IsSuspended() const { return c_bSuspended.load(std::memory_order_acquire); }
  // Platform id of the thread's latest run; 0 before the first Start.
  uint32_t GetThreadId() const { return c_u32ThreadId.load(std::memory_order_acquire); }
  // The body's result of the latest run that was not suspended.
  int32_t GetExitCode() const { return c_i32ExitCode.load(std::memory_order_acquire); }
  const char *GetThreadName() const { return c_oName.GetText(); }
  int32_t GetPriority() const { return c_i32Priority; }
  int32_t GetStackSize() const { return c_i32StackSize; }

private:
  friend struct KTX_ThreadRun;
  void Setup(const char *p_szName);
  static void Entry(void *p_poRun);

  KTX_ThreadBaseClass *c_poRunObject;
  KTX_ThreadFunction c_pfnRun;
  void *c_poUser;
  int32_t c_i32Parameter;
  OsalThread c_oHandle;
  // The latest run of the platform thread, shared with that thread.
  std::shared_ptr<KTX_ThreadRun> c_poRun;
  // Recorded and logged; the platform's default scheduling and stack size are used.
  int32_t c_i32Priority;
  int32_t c_i32StackSize;
  KTX_StringAscii c_oName;
  std::atomic<uint32_t> c_u32ThreadId;
  std::atomic<int32_t> c_i32ExitCode;
  std::atomic<bool> c_bRunning;
  std::atomic<bool> c_bSuspended;
};

// The KTX_Thread the caller runs on, or null.
KTX_Thread *GetCurrentThread();
// Its name, or "Unknown Thread".
const char *GetCurrentThreadName();
