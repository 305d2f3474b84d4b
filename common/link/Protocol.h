#pragma once
// The protocol object of a channel: turns "send this request and report its
// answer" into traffic on a transport. It keeps the requests on the wire
// (pending, sorted by deadline) and those waiting to be sent (held back, sorted
// by send time). Both lists hold a reference to each message, so an operation
// that gives up its request meanwhile never leaves the protocol a dangling one.

#include "link/DeviceAddress.h"
#include "runtime/BaseClass.h"
#include "runtime/OsalSemaphore.h"

#include <cstdint>

class KTX_Message;
class KTX_MessageSupervisor;
class KTX_Transport;

class KTX_Protocol : public KTX_BaseClass {
public:
  static constexpr int32_t c_i32MaxMessages = 64;

  explicit KTX_Protocol(int32_t p_i32ClassType);
  ~KTX_Protocol() override;

  virtual KTX_MessageSupervisor *NewMessage() = 0;
  // On the reactor worker: takes the transport and opens it.
  virtual int32_t Register(KTX_Transport *p_poTransport);
  virtual int32_t Close();
  virtual int32_t SendMessage(KTX_Message *p_poMessage) = 0;
  // Ticks until the protocol needs a call-back (a deadline or a held-back send); 0 none.
  virtual int32_t GetTimeOutMs(uint32_t p_u32Now);
  virtual int32_t Receive(KTX_Message *p_poMessage) = 0;
  virtual int32_t GetLocalPort() { return 0; }
  virtual int32_t AddPending(KTX_Message *p_poMessage);
  virtual void SortPending(uint32_t p_u32Now);
  // Removes the pending message with this sequence number; the caller takes
  // over the list's reference.
  virtual KTX_Message *TakePending(int32_t p_i32Sequence);
  virtual int32_t CheckTimeOuts(uint32_t p_u32Now);
  int32_t GetPendingCount();
  int32_t GetHeldBackCount();
  virtual int32_t HoldBack(KTX_Message *p_poMessage);
  virtual void SortHeldBack(uint32_t p_u32Now);
  virtual int32_t SendHeldBack(uint32_t p_u32Now);

  // Waits until the reactor has opened the transport: 0, or KTX_RC_TIME_OUT.
  int32_t WaitUntilRunning(int32_t p_i32Milliseconds);
  void SignalRunning() { c_oRunning.Signal(); }
  // The transport with a reference the caller releases, or none.
  KTX_Transport *AcquireTransport();

protected:
  // Settles a message that will not be answered: its result becomes the code
  // and its parent hears of it.
  static void Settle(KTX_Message *p_poMessage, int32_t p_i32Result);

  KTX_Transport *c_poTransport;
  KTX_Message *c_apoPending[c_i32MaxMessages];
  int32_t c_i32PendingCount;
  KTX_Message *c_apoHeldBack[c_i32MaxMessages];
  int32_t c_i32HeldBackCount;

private:
  OsalSemaphore c_oRunning;
  KTX_DeviceAddress c_oAddress;
};
