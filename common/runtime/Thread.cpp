#include "runtime/Thread.h"

#include "runtime/DebugLog.h"
#include "runtime/OsalSemaphore.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/ThreadBaseClass.h"

#include <cstdio>
#include <mutex>
#include <string>

// What one run of a platform thread shares with its KTX_Thread. The KTX_Thread may
// go away (or give the run up by suspending it) while the body still runs, so
// after the body the platform thread looks at its owner only through this record
// and only under its lock.
struct KTX_ThreadRun {
  std::mutex oLock;
  KTX_Thread *poOwner = nullptr;
  bool bBodyReturned = false;
  OsalSemaphore oStarted{true};
};

namespace {

// The thread table, in creation order, under the class lock of the thread type.
KTX_Thread *g_apoThreads[KTX_Thread::c_i32TableSize];
int32_t g_i32ThreadCount = 0;

const char c_szUnknownThread[] = "Unknown Thread";

// The log's thread-name field asks the thread layer whenever the thread layer is
// part of the program.
[[maybe_unused]] const bool g_bNameProviderInstalled = [] {
  SetDebugThreadNameProvider(&GetCurrentThreadName);
  return true;
}();

} // namespace

KTX_Thread::KTX_Thread(KTX_ThreadFunction p_pfnRun, const char *p_szName, int32_t p_i32Priority,
                       int32_t p_i32StackSize, void *p_poUser, int32_t p_i32Parameter)
    : KTX_BaseClass(KTX_BASE_CLASS_THREAD), c_poRunObject(nullptr), c_pfnRun(p_pfnRun), c_poUser(p_poUser),
      c_i32Parameter(p_i32Parameter), c_i32Priority(p_i32Priority), c_i32StackSize(p_i32StackSize),
      c_u32ThreadId(0), c_i32ExitCode(0), c_bRunning(false), c_bSuspended(false) {
  Setup(p_szName);
}

KTX_Thread::KTX_Thread(KTX_ThreadBaseClass *p_poRunObject, const char *p_szName, int32_t p_i32Priority,
                       int32_t p_i32StackSize, void *p_poUser, int32_t p_i32Parameter)
    : KTX_BaseClass(KTX_BASE_CLASS_THREAD), c_poRunObject(p_poRunObject), c_pfnRun(nullptr), c_poUser(p_poUser),
      c_i32Parameter(p_i32Parameter), c_i32Priority(p_i32Priority), c_i32StackSize(p_i32StackSize),
      c_u32ThreadId(0), c_i32ExitCode(0), c_bRunning(false), c_bSuspended(false) {
  Setup(p_szName);
}

void KTX_Thread::Setup(const char *p_szName) {
  c_oName.SetStackVariable();
  if (p_szName != nullptr) {
    c_oName.Assign(p_szName);
  } else {
    char name[32];
    std::snprintf(name, sizeof name, "KTX_Thread_%02d", GetInstanceNumber());
    c_oName.Assign(name);
  }
  KTX_ClassLockGuard guard(KTX_BASE_CLASS_THREAD);
  if (g_i32ThreadCount < c_i32TableSize) {
    g_apoThreads[g_i32ThreadCount++] = this;
  }
}

KTX_Thread::~KTX_Thread() {
  {
    KTX_ClassLockGuard guard(KTX_BASE_CLASS_THREAD);
    for (int32_t i = 0; i < g_i32ThreadCount; ++i) {
      if (g_apoThreads[i] == this) {
        g_apoThreads[i] = g_apoThreads[--g_i32ThreadCount];
        g_apoThreads[g_i32ThreadCount] = nullptr;
        break;
      }
    }
  }
  bool bodyReturned = true;
  if (c_poRun) {
    std::lock_guard<std::mutex> lock(c_poRun->oLock);
    c_poRun->poOwner = nullptr;
    bodyReturned = c_poRun->bBodyReturned;
  }
  // After its body the platform thread only finishes up, so waiting for it
  // cannot block; a thread still in its body is let go.
  if (bodyReturned) {
    c_oHandle.Join();
  } else {
    c_oHandle.Release();
  }
}

int32_t KTX_Thread::Start() {
  if (c_bRunning.load(std::memory_order_acquire)) {
    KTX_LOG(KTX_ASSERT, "KTX_Thread::Run() -- Error Thread is already running");
    return KTX_RC_INVALID_CALL;
  }
  if (c_poRun) {
    // The previous run: finished (join it) or suspended with its body still going (let it go).
    bool bodyReturned;
    {
      std::lock_guard<std::mutex> lock(c_poRun->oLock);
      c_poRun->poOwner = nullptr;
      bodyReturned = c_poRun->bBodyReturned;
    }
    if (bodyReturned) {
      c_oHandle.Join();
    } else {
      c_oHandle.Release();
    }
    c_poRun.reset();
  }
  std::shared_ptr<KTX_ThreadRun> run = std::make_shared<KTX_ThreadRun>();
  run->poOwner = this;
  c_bSuspended.store(false, std::memory_order_release);
  auto *handOver = new std::shared_ptr<KTX_ThreadRun>(run);
  if (c_oHandle.Create(&KTX_Thread::Entry, handOver) != KTX_RC_OK) {
    delete handOver;
    return KTX_RC_OPERATION_FAILED;
  }
  c_poRun = run;
  // The new thread records its id and the running flag before it signals.
  run->oStarted.Wait(-1);
  return KTX_RC_OK;
}

void KTX_Thread::Suspend() {
  if (!c_poRun) {
    return;
  }
  std::lock_guard<std::mutex> lock(c_poRun->oLock);
  if (c_bRunning.load(std::memory_order_acquire)) {
    c_poRun->poOwner = nullptr;
    c_bSuspended.store(true, std::memory_order_release);
    c_bRunning.store(false, std::memory_order_release);
  }
}

void KTX_Thread::Entry(void *p_poRun) {
  std::shared_ptr<KTX_ThreadRun> run = *static_cast<std::shared_ptr<KTX_ThreadRun> *>(p_poRun);
  delete static_cast<std::shared_ptr<KTX_ThreadRun> *>(p_poRun);

  // Start() waits for the signal below, so the owner is alive until then.
  KTX_Thread *self = run->poOwner;
  const uint32_t id = OsalGetCurrentThreadId();
  const std::string name = self->c_oName.GetText();
  const int32_t priority = self->c_i32Priority;
  KTX_ThreadFunction function = self->c_pfnRun;
  KTX_ThreadBaseClass *object = self->c_poRunObject;
  void *user = self->c_poUser;
  const int32_t parameter = self->c_i32Parameter;
  self->c_u32ThreadId.store(id, std::memory_order_release);
  self->c_bRunning.store(true, std::memory_order_release);
  run->oStarted.Signal();

  KTX_LOG(KTX_INFO, "{ THD} %15s {id:x%08x pri:%2d} started", name.c_str(), id, priority);
  int32_t exitCode = KTX_RC_OK;
  if (function != nullptr) {
    exitCode = function(user, parameter);
  } else if (object != nullptr) {
    exitCode = object->Run(user, parameter);
  }

  std::lock_guard<std::mutex> lock(run->oLock);
  run->bBodyReturned = true;
  if (run->poOwner != nullptr) {
    run->poOwner->c_i32ExitCode.store(exitCode, std::memory_order_release);
    run->poOwner->c_bRunning.store(false, std::memory_order_release);
    KTX_LOG(KTX_INFO, "{ THD} %15s {id:x%08x pri:%2d} stopped", name.c_str(), id, priority);
  }
}

KTX_Thread *GetCurrentThread() {
  const uint32_t id = OsalGetCurrentThreadId();
  KTX_ClassLockGuard guard(KTX_BASE_CLASS_THREAD);
  for (int32_t i = 0; i < g_i32ThreadCount; ++i) {
    // A stopped thread's id may already belong to another thread of the process.
    if (g_apoThreads[i]->GetThreadId() == id && g_apoThreads[i]->IsRunning()) {
      return g_apoThreads[i];
    }
  }
  return nullptr;
}

const char *GetCurrentThreadName() {
  KTX_Thread *thread = GetCurrentThread();
  return thread != nullptr ? thread->GetThreadName() : c_szUnknownThread;
}
