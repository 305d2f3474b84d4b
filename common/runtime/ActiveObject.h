#pragma once
// An object that owns a thread and goes through a fixed life cycle driven by its
// owner: DoPreStart (create the thread) -> DoStart (run it) -> DoPreStop (ask the
// body to finish) -> DoStop (wait for it, freeze the thread) -> DoDestroy.
// Subclasses plug in through the On* hooks and supply the thread body.
//
// The body's side of the protocol: leave the loop once IsStopRequested() is
// true, and call SetBodyFinished() as the very last act; DoStop waits for that.

#include "runtime/MessageQueue.h"
#include "runtime/Thread.h"
#include "runtime/ThreadBaseClass.h"

#include <atomic>
#include <cstdint>

class KTX_ActiveObject : public KTX_ThreadBaseClass {
public:
  enum State : int32_t {
    c_eCreated = 0,
    c_ePreStarted = 1,
    c_eStarted = 2,
    c_eStopping = 4,
    c_eStopped = 5,
  };

  // Creates the object's queue: "<name>MsgQueue", or "KTX_ListenQueue_00" for an
  // object without a name; parameter 4, capacity 10.
  KTX_ActiveObject(int32_t p_i32ClassType, KTX_ThreadBaseClass *p_poRunObject, const char *p_szName,
                   int32_t p_i32Priority, int32_t p_i32StackSize, void *p_poUser, int32_t p_i32Parameter);
  ~KTX_ActiveObject() override;

  int32_t DoPreStart();
  int32_t DoStart();
  int32_t DoPreStop();
  int32_t DoStop();
  // Calls OnDestroy, then gives up the creator's reference (Delete): the object
  // must not be used afterwards. A thread body still running is first asked to
  // finish and waited for, as DoPreStop and DoStop would.
  int32_t DoDestroy();

  // Hooks; each returns a KTX_RC_* code and does nothing by default.
  virtual int32_t OnCreate();
  virtual int32_t OnPreStart();
  virtual int32_t OnStart();
  virtual int32_t OnPreStop();
  virtual int32_t OnStop();
  virtual int32_t OnDestroy();

  int32_t GetState() const { return c_i32State; }
  const char *GetObjectName() const { return c_oName.GetText(); }
  KTX_MessageQueue *GetQueue() const { return c_poQueue; }
  KTX_Thread *GetThread() const { return c_poThread; }
  int32_t GetHeartbeat() const { return c_i32Heartbeat.load(std::memory_order_acquire); }

  // Set by the builder before the first step.
  void SetRunObject(KTX_ThreadBaseClass *p_poRunObject) { c_poRunObject = p_poRunObject; }
  void SetRunFunction(KTX_ThreadFunction p_pfnRun) { c_pfnRun = p_pfnRun; }
  void SetUser(void *p_poUser) { c_poUser = p_poUser; }
  void SetParameter(int32_t p_i32Parameter) { c_i32Parameter = p_i32Parameter; }

  // Shared with the thread body.
  bool IsStopRequested() const { return c_bStopRequested.load(std::memory_order_acquire); }
  bool IsBodyFinished() const { return c_bBodyFinished.load(std::memory_order_acquire); }
  void SetBodyFinished() { c_bBodyFinished.store(true, std::memory_order_release); }
  void AdvanceHeartbeat() { c_i32Heartbeat.fetch_add(1, std::memory_order_acq_rel); }

private:
  int32_t ReportHook(int32_t p_i32Result, const char *p_szStep);
  void WaitForBody();

  KTX_MessageQueue *c_poQueue;
  KTX_ThreadBaseClass *c_poRunObject;
  KTX_ThreadFunction c_pfnRun;
  void *c_poUser;
  int32_t c_i32Parameter;
  KTX_StringAscii c_oName;
  bool c_bNamed;
  int32_t c_i32Priority;
  int32_t c_i32StackSize;
  int32_t c_i32State;
  KTX_Thread *c_poThread;
  bool c_bThreadStarted;
  std::atomic<int32_t> c_i32Heartbeat;
  std::atomic<bool> c_bStopRequested;
  std::atomic<bool> c_bBodyFinished;
};
