#pragma once
// A transport moves whole messages between the wizard and sensors over one kind
// of link. The message reactor drives it: it asks which descriptors to watch and
// how long it may wait, and calls it back when a descriptor is ready. Every
// call-back runs on the reactor worker of the transport's category, so a
// transport is never called back on two threads at once; sends come from any
// thread and are serialised by the transport's object lock.
//
// Descriptors are POSIX file descriptors; -1 means none.

#include "link/DeviceAddress.h"
#include "runtime/BaseClass.h"
#include "runtime/OsalThreadMutex.h"

#include <cstdint>

class KTX_Message;
class KTX_Protocol;

enum KTX_TransportCategory : int32_t {
  KTX_TRANSPORT_SERIAL = 1,
  KTX_TRANSPORT_ETHERNET = 2,
};

class KTX_Transport : public KTX_BaseClass {
public:
  static constexpr int c_iNoHandle = -1;

  KTX_Transport(int32_t p_i32ClassType, int32_t p_i32Category);
  ~KTX_Transport() override;

  // Base: stores the protocol, taking a reference (nothing when it is the same).
  virtual int32_t Open(KTX_Protocol *p_poProtocol);
  // Base: releases the protocol.
  virtual int32_t Close();
  // Base: copies the address into the own address.
  virtual int32_t SetAddress(const KTX_DeviceAddress &p_roAddress);
  virtual int GetReadHandle() = 0;
  virtual int GetWriteHandle() = 0;
  virtual int GetExceptHandle() = 0;
  // Milliseconds until the transport needs a call-back without traffic (0: none).
  virtual int32_t GetTimeOutMs(uint32_t p_u32Now) = 0;
  virtual int32_t ReadReady() = 0;
  virtual int32_t WriteReady() = 0;
  virtual int32_t ExceptReady() = 0;
  virtual int32_t SendMessage(KTX_Message *p_poMessage) = 0;

  int32_t GetCategory() const { return c_i32Category; }
  // The protocol, with a reference the caller releases; none when there is none.
  KTX_Protocol *AcquireProtocol();
  // The transport's own address (UDP: the local address bound; RS-485: the
  // COM port open). Read from any thread, changed on the worker.
  void CopyOwnAddress(KTX_DeviceAddress &p_roOut);
  bool IsOnSameLink(const KTX_DeviceAddress &p_roAddress);
  bool IsRegistered() const { return c_bRegistered; }
  void SetRegistered(bool p_bRegistered) { c_bRegistered = p_bRegistered; }

protected:
  void StoreOwnAddress(const KTX_DeviceAddress &p_roAddress);
  // The protocol without a reference; only for the transport's own call-backs,
  // which run while the protocol holds the transport.
  KTX_Protocol *GetProtocol() { return c_poProtocol; }

private:
  // Guards the protocol link and the own address. Sends hold the object lock,
  // possibly while they wait for the worker to move the transport; the worker
  // must still be able to reach both meanwhile.
  OsalThreadMutex c_oDataLock;
  KTX_Protocol *c_poProtocol;
  bool c_bRegistered;
  KTX_DeviceAddress c_oOwnAddress;
  int32_t c_i32Category;
};
