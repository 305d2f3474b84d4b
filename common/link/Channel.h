#pragma once
// The open link of one kind (RS-485, UDP, offline): owns the protocol and the
// transport, opens them on first use and hands each outgoing message to the
// protocol. All sensors of one kind share one channel; each message carries its
// own destination.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_DeviceAddress;
class KTX_Protocol;
class KTX_StateMachine;
class KTX_Transport;

class KTX_Channel : public KTX_BaseClass {
public:
  // How long Open waits for the reactor to bring the transport up.
  static constexpr int32_t c_i32RunningWaitMs = 30000;

  // Takes a reference to the address.
  explicit KTX_Channel(KTX_DeviceAddress *p_poAddress);
  ~KTX_Channel() override;

  virtual int32_t Open();
  virtual int32_t Close() { return 0; }
  // Opens the channel if needed, takes the message's destination as the
  // channel's address and hands the message to the protocol.
  virtual int32_t Submit(KTX_StateMachine *p_poMachine);
  virtual int32_t CreateProtocol(KTX_Protocol *&p_rpoProtocol) = 0;
  virtual int32_t CreateTransport(KTX_Transport *&p_rpoTransport) = 0;

  KTX_DeviceAddress *GetAddress() { return c_poAddress; }
  // For diagnostics and tests; no reference is given.
  KTX_Protocol *GetProtocol() { return c_poProtocol; }
  KTX_Transport *GetTransport() { return c_poTransport; }

private:
  void ReleaseLink();

  KTX_DeviceAddress *c_poAddress;
  KTX_Protocol *c_poProtocol;
  KTX_Transport *c_poTransport;
};
