#include "runtime/ActiveObject.h"

#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"

#include <cstdio>

namespace {

constexpr int32_t c_i32QueueParameter = 4;
constexpr int32_t c_i32QueueCapacity = 10;
constexpr uint32_t c_u32StopPollMs = 50;

} // namespace

KTX_ActiveObject::KTX_ActiveObject(int32_t p_i32ClassType, KTX_ThreadBaseClass *p_poRunObject, const char *p_szName,
                                   int32_t p_i32Priority, int32_t p_i32StackSize, void *p_poUser,
                                   int32_t p_i32Parameter)
    : KTX_ThreadBaseClass(p_i32ClassType), c_poQueue(nullptr), c_poRunObject(p_poRunObject), c_pfnRun(nullptr),
      c_poUser(p_poUser), c_i32Parameter(p_i32Parameter), c_bNamed(p_szName != nullptr),
      c_i32Priority(p_i32Priority), c_i32StackSize(p_i32StackSize), c_i32State(c_eCreated), c_poThread(nullptr),
      c_bThreadStarted(false), c_i32Heartbeat(0), c_bStopRequested(false), c_bBodyFinished(false) {
  c_oName.SetStackVariable();
  c_oName.Assign(p_szName);
  char queueName[128];
  if (c_bNamed) {
    std::snprintf(queueName, sizeof queueName, "%.100sMsgQueue", p_szName);
  } else {
    std::snprintf(queueName, sizeof queueName, "KTX_ListenQueue_%02d", 0);
  }
  c_poQueue = new KTX_MessageQueue(queueName, c_i32QueueParameter, c_i32QueueCapacity);
}

KTX_ActiveObject::~KTX_ActiveObject() {
  if (c_poThread != nullptr) {
    c_poThread->Delete();
  }
  c_poQueue->Delete();
}

int32_t KTX_ActiveObject::ReportHook(int32_t p_i32Result, const char *p_szStep) {
  if (p_i32Result != KTX_RC_OK) {
    KTX_LOG(KTX_ASSERT, "Error %d: \"%s\"", p_i32Result, p_szStep);
  }
  return p_i32Result;
}

int32_t KTX_ActiveObject::DoPreStart() {
  if (c_pfnRun == nullptr && c_poRunObject == nullptr) {
    KTX_LOG(KTX_ASSERT, "{ ACT} No thread run method provided!");
    return KTX_RC_INVALID_PARAMETER;
  }
  // A repeated pre-start keeps the thread it already has rather than orphaning it.
  if (c_poThread == nullptr) {
    const char *name = c_bNamed ? c_oName.GetText() : nullptr;
    if (c_pfnRun != nullptr) {
      c_poThread = new KTX_Thread(c_pfnRun, name, c_i32Priority, c_i32StackSize, c_poUser, c_i32Parameter);
    } else {
      c_poThread = new KTX_Thread(c_poRunObject, name, c_i32Priority, c_i32StackSize, c_poUser, c_i32Parameter);
    }
  }
  const int32_t rc = ReportHook(OnPreStart(), "DoPreStart()");
  if (rc != KTX_RC_OK) {
    return rc;
  }
  // No named buffer pools exist in this program, so there is no local message pool to look up.
  c_i32State = c_ePreStarted;
  return KTX_RC_OK;
}

int32_t KTX_ActiveObject::DoStart() {
  if (c_i32State != c_ePreStarted) {
    return KTX_RC_OK;
  }
  const int32_t rc = ReportHook(OnStart(), "DoStart()");
  if (rc == KTX_RC_OK) {
    c_i32State = c_eStarted;
  }
  // The flags are cleared before the thread exists, so a stop requested right
  // after this step cannot be lost to the body's start.
  c_bStopRequested.store(false, std::memory_order_release);
  c_bBodyFinished.store(false, std::memory_order_release);
  c_bThreadStarted = c_poThread->Start() == KTX_RC_OK;
  return rc;
}

int32_t KTX_ActiveObject::DoPreStop() {
  c_bStopRequested.store(true, std::memory_order_release);
  c_i32State = c_eStopping;
  return ReportHook(OnPreStop(), "DoPreStop()");
}

void KTX_ActiveObject::WaitForBody() {
  // Only a body that was started can finish; waiting for one that never ran
  // would block the owner for ever.
  if (c_bThreadStarted) {
    while (!c_bBodyFinished.load(std::memory_order_acquire)) {
      OsalSleep(c_u32StopPollMs);
    }
  }
}

int32_t KTX_ActiveObject::DoStop() {
  WaitForBody();
  const int32_t rc = ReportHook(OnStop(), "DoStop()");
  if (c_poThread != nullptr) {
    c_poThread->Suspend();
  }
  c_i32State = c_eStopped;
  return rc;
}

int32_t KTX_ActiveObject::DoDestroy() {
  const int32_t rc = ReportHook(OnDestroy(), "DoDestroy()");
  // An owner may destroy an object whose thread still runs (at exit the stop
  // steps are skipped unless the object reached the started state, yet a failed
  // start hook leaves the thread running). The body must be out of the object
  // before it goes.
  if (c_bThreadStarted && !c_bBodyFinished.load(std::memory_order_acquire)) {
    c_bStopRequested.store(true, std::memory_order_release);
    WaitForBody();
    c_poThread->Suspend();
  }
  Delete();
  return rc;
}

int32_t KTX_ActiveObject::OnCreate() { return KTX_RC_OK; }
int32_t KTX_ActiveObject::OnPreStart() { return KTX_RC_OK; }
int32_t KTX_ActiveObject::OnStart() { return KTX_RC_OK; }
int32_t KTX_ActiveObject::OnPreStop() { return KTX_RC_OK; }
int32_t KTX_ActiveObject::OnStop() { return KTX_RC_OK; }
int32_t KTX_ActiveObject::OnDestroy() { return KTX_RC_OK; }
