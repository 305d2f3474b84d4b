#include "link/Transport.h"

#include "link/Protocol.h"
#include "runtime/ReturnCode.h"

KTX_Transport::KTX_Transport(int32_t p_i32ClassType, int32_t p_i32Category)
    : KTX_BaseClass(p_i32ClassType), c_poProtocol(nullptr), c_bRegistered(false), c_i32Category(p_i32Category) {
  c_oOwnAddress.SetStackVariable();
}

KTX_Transport::~KTX_Transport() {
  if (c_poProtocol != nullptr) {
    c_poProtocol->DecReferenceCount();
    c_poProtocol = nullptr;
  }
}

int32_t KTX_Transport::Open(KTX_Protocol *p_poProtocol) {
  OsalThreadMutexGuard guard(c_oDataLock);
  if (p_poProtocol == c_poProtocol) {
    return KTX_RC_OK;
  }
  if (p_poProtocol != nullptr) {
    p_poProtocol->IncReferenceCount();
  }
  if (c_poProtocol != nullptr) {
    c_poProtocol->DecReferenceCount();
  }
  c_poProtocol = p_poProtocol;
  return KTX_RC_OK;
}

int32_t KTX_Transport::Close() {
  KTX_Protocol *old = nullptr;
  {
    OsalThreadMutexGuard guard(c_oDataLock);
    old = c_poProtocol;
    c_poProtocol = nullptr;
  }
  // Released outside the lock: the last release may destroy the protocol.
  if (old != nullptr) {
    old->DecReferenceCount();
  }
  return KTX_RC_OK;
}

int32_t KTX_Transport::SetAddress(const KTX_DeviceAddress &p_roAddress) {
  StoreOwnAddress(p_roAddress);
  return KTX_RC_OK;
}

void KTX_Transport::StoreOwnAddress(const KTX_DeviceAddress &p_roAddress) {
  OsalThreadMutexGuard guard(c_oDataLock);
  c_oOwnAddress.CopyFrom(p_roAddress);
}

void KTX_Transport::CopyOwnAddress(KTX_DeviceAddress &p_roOut) {
  OsalThreadMutexGuard guard(c_oDataLock);
  p_roOut.CopyFrom(c_oOwnAddress);
}

bool KTX_Transport::IsOnSameLink(const KTX_DeviceAddress &p_roAddress) {
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_oOwnAddress.IsSameLink(p_roAddress);
}

KTX_Protocol *KTX_Transport::AcquireProtocol() {
  OsalThreadMutexGuard guard(c_oDataLock);
  if (c_poProtocol != nullptr) {
    c_poProtocol->IncReferenceCount();
  }
  return c_poProtocol;
}
