#pragma once
// The active object that owns all waiting on devices. Its own thread starts one
// worker per kind of link once a transport of that kind is registered:
// "ReactorEthernet" waits on the UDP sockets, "ReactorSerial" on the serial
// ports. Each worker opens its category's transports, asks them how long it may
// sleep (the nearest protocol deadline), sleeps at most 500 ms, and calls a
// transport back when its descriptor is ready. All received bytes enter the
// system on these two threads.

#include "runtime/ActiveObject.h"
#include "runtime/OsalSemaphore.h"

#include <atomic>
#include <cstdint>

class KTX_Thread;

class KTX_MessageReactor : public KTX_ActiveObject {
public:
  static constexpr int32_t c_i32Priority = 7;
  static constexpr int32_t c_i32StackSize = 0x4000;
  static constexpr int32_t c_i32WorkerStackSize = 0x8000;
  static constexpr int32_t c_i32MaxWaitMs = 500;
  static constexpr int32_t c_i32MaxWorkers = 8;
  // The already-done answer of the start hooks (it has no name).
  static constexpr int32_t c_i32AlreadyDone = 205;

  KTX_MessageReactor();
  ~KTX_MessageReactor() override;

  int32_t Run(void *p_poUser, int32_t p_i32Parameter) override;
  int32_t OnCreate() override;
  int32_t OnPreStart() override;
  int32_t OnStart() override;
  int32_t OnPreStop() override;
  int32_t OnStop() override;
  int32_t OnDestroy() override;

  // Waits for one of the serial descriptors to be readable: 0 and its index,
  // KTX_RC_TIME_OUT, or KTX_RC_INTERNAL_ERROR (logged) on a failure of the wait.
  int32_t WaitForReadReadySerial(const int *p_piHandles, int32_t p_i32Count, int32_t &p_ri32Index,
                                 int32_t p_i32Milliseconds);

  int32_t GetWorkerCount() const { return c_i32WorkerCount.load(std::memory_order_acquire); }
  KTX_Thread *GetWorker(int32_t p_i32Index) const;
  bool IsEthernetFinished() const { return c_bEthernetFinished.load(std::memory_order_acquire); }
  bool IsSerialFinished() const { return c_bSerialFinished.load(std::memory_order_acquire); }

  // Makes the object builder able to create the reactor (class type 37).
  static void RegisterWithBuilder();

private:
  static int32_t EthernetWorker(void *p_poUser, int32_t p_i32Parameter);
  static int32_t SerialWorker(void *p_poUser, int32_t p_i32Parameter);
  static void WakeCategory(int32_t p_i32Category);
  int32_t RunEthernet();
  int32_t RunSerial();
  void CreateWorker(const char *p_szName, int32_t (*p_pfnBody)(void *, int32_t));
  // Waits up to p_i32Ms for the ready flag; false when stop was requested.
  bool WaitUntilReady();
  // Wakes a worker's wait early (a stop, a registration, a re-target request).
  void Wake(int32_t p_i32Category);

  std::atomic<bool> c_bPreStarted;
  std::atomic<bool> c_bStarted;
  std::atomic<int32_t> c_i32WorkerCount;
  KTX_Thread *c_apoWorkers[c_i32MaxWorkers];
  std::atomic<bool> c_bEthernetFinished;
  std::atomic<bool> c_bSerialFinished;
  std::atomic<bool> c_bReady;
  std::atomic<bool> c_bEthernetClosed;
  std::atomic<bool> c_bHasEthernetWorker;
  std::atomic<bool> c_bHasSerialWorker;
  // Event descriptors the workers' waits include, and the heartbeat's wake-up.
  int c_iWakeEthernet;
  int c_iWakeSerial;
  OsalSemaphore c_oHeartbeatWake;
};
