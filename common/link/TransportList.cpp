#include "link/TransportList.h"

#include "link/DeviceAddress.h"
#include "link/Protocol.h"
#include "link/Transport.h"
#include "runtime/DebugLog.h"
#include "runtime/OsalSemaphore.h"
#include "runtime/OsalThreadMutex.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"

#include <atomic>
#include <memory>
#include <vector>

namespace {

// A sender's request to move a transport. The request owns its copy of the
// address, so a sender that gave up waiting leaves nothing dangling.
struct Retarget {
  KTX_Transport *poTransport;
  KTX_DeviceAddress oAddress;
  OsalSemaphore oDone{true};
  Retarget() { oAddress.SetStackVariable(); }
};

struct Category {
  // Guards the registrations and the pending re-target requests.
  OsalThreadMutex oLock;
  KTX_Transport *apoTransports[KTX_TransportList::c_i32MaxTransports] = {};
  int32_t i32Count = 0;
  std::vector<std::shared_ptr<Retarget>> vRetargets;
  std::atomic<uint32_t> u32WorkerThread{0};
};

Category g_aoCategories[2];
std::atomic<KTX_TransportList::WakeFunction> g_pfnWake{nullptr};

Category *Find(int32_t p_i32Category) {
  if (p_i32Category == KTX_TRANSPORT_SERIAL) {
    return &g_aoCategories[0];
  }
  if (p_i32Category == KTX_TRANSPORT_ETHERNET) {
    return &g_aoCategories[1];
  }
  return nullptr;
}

void Wake(int32_t p_i32Category) {
  if (KTX_TransportList::WakeFunction wake = g_pfnWake.load(std::memory_order_acquire)) {
    wake(p_i32Category);
  }
}

} // namespace

void KTX_TransportList::SetWakeFunction(WakeFunction p_pfnWake) { g_pfnWake.store(p_pfnWake, std::memory_order_release); }

void KTX_TransportList::SetWorkerThread(int32_t p_i32Category, uint32_t p_u32ThreadId) {
  if (Category *c = Find(p_i32Category)) {
    c->u32WorkerThread.store(p_u32ThreadId, std::memory_order_release);
  }
}

bool KTX_TransportList::IsWorkerThread(int32_t p_i32Category) {
  Category *c = Find(p_i32Category);
  return c != nullptr && c->u32WorkerThread.load(std::memory_order_acquire) == OsalGetCurrentThreadId();
}

int32_t KTX_TransportList::Register(KTX_Protocol *p_poProtocol, KTX_Transport *p_poTransport) {
  if (p_poTransport == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  Category *c = Find(p_poTransport->GetCategory());
  if (c == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  {
    OsalThreadMutexGuard guard(c->oLock);
    if (p_poTransport->IsRegistered()) {
      return KTX_RC_OK;
    }
    if (c->i32Count >= c_i32MaxTransports) {
      KTX_LOG(KTX_ASSERT, "KTX_TransportList::Register exceeded max count.  Ignored");
      return KTX_RC_INTERNAL_ERROR;
    }
    p_poTransport->IncReferenceCount();
    c->apoTransports[c->i32Count++] = p_poTransport;
    p_poTransport->KTX_Transport::Open(p_poProtocol);
    p_poTransport->SetRegistered(true);
  }
  Wake(p_poTransport->GetCategory());
  return KTX_RC_OK;
}

int32_t KTX_TransportList::StartTransports(int32_t p_i32Category, int32_t &p_ri32Position) {
  Category *c = Find(p_i32Category);
  if (c == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  for (;;) {
    KTX_Transport *transport = AcquireTransport(p_i32Category, p_ri32Position);
    if (transport == nullptr) {
      break;
    }
    KTX_Protocol *protocol = transport->AcquireProtocol();
    int32_t rc = KTX_RC_INTERNAL_ERROR;
    if (protocol != nullptr) {
      rc = protocol->Register(transport);
      if (rc == KTX_RC_OK) {
        protocol->SignalRunning();
      }
      protocol->DecReferenceCount();
    }
    transport->DecReferenceCount();
    if (rc != KTX_RC_OK) {
      return rc;
    }
    ++p_ri32Position;
  }
  std::vector<std::shared_ptr<Retarget>> requests;
  {
    OsalThreadMutexGuard guard(c->oLock);
    requests.swap(c->vRetargets);
  }
  for (const std::shared_ptr<Retarget> &request : requests) {
    request->poTransport->SetAddress(request->oAddress);
    request->poTransport->DecReferenceCount();
    request->oDone.Signal();
  }
  return KTX_RC_OK;
}

int32_t KTX_TransportList::RetargetTransport(KTX_Transport *p_poTransport, KTX_DeviceAddress &p_roAddress) {
  if (p_poTransport->IsOnSameLink(p_roAddress)) {
    p_poTransport->CopyOwnAddress(p_roAddress);
    return KTX_RC_OK;
  }
  Category *c = Find(p_poTransport->GetCategory());
  if (c == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  // On the worker itself nobody else would serve the request: move it now.
  if (IsWorkerThread(p_poTransport->GetCategory())) {
    return p_poTransport->SetAddress(p_roAddress);
  }
  auto request = std::make_shared<Retarget>();
  request->poTransport = p_poTransport;
  request->oAddress.CopyFrom(p_roAddress);
  {
    OsalThreadMutexGuard guard(c->oLock);
    if (static_cast<int32_t>(c->vRetargets.size()) >= c_i32MaxRetargets) {
      // Nobody would serve it: the sender hears the failure at once.
      return KTX_RC_INTERNAL_OVERFLOW;
    }
    p_poTransport->IncReferenceCount();
    c->vRetargets.push_back(request);
  }
  Wake(p_poTransport->GetCategory());
  if (request->oDone.Wait(c_i32RetargetWaitMs) == KTX_RC_OK) {
    return KTX_RC_OK;
  }
  // Not served in time: withdraw the request if the worker has not taken it yet.
  {
    OsalThreadMutexGuard guard(c->oLock);
    for (auto it = c->vRetargets.begin(); it != c->vRetargets.end(); ++it) {
      if (*it == request) {
        c->vRetargets.erase(it);
        p_poTransport->DecReferenceCount();
        break;
      }
    }
  }
  return KTX_RC_TIME_OUT;
}

int32_t KTX_TransportList::CloseTransports(int32_t p_i32Category) {
  for (int32_t i = 0;; ++i) {
    KTX_Transport *transport = AcquireTransport(p_i32Category, i);
    if (transport == nullptr) {
      return KTX_RC_OK;
    }
    KTX_Protocol *protocol = transport->AcquireProtocol();
    int32_t rc = KTX_RC_OK;
    if (protocol != nullptr) {
      rc = protocol->Close();
      protocol->DecReferenceCount();
    }
    transport->DecReferenceCount();
    if (rc != KTX_RC_OK) {
      return rc;
    }
  }
}

int32_t KTX_TransportList::ClearTransportList() {
  for (Category &c : g_aoCategories) {
    KTX_Transport *released[c_i32MaxTransports] = {};
    int32_t count = 0;
    std::vector<std::shared_ptr<Retarget>> requests;
    {
      OsalThreadMutexGuard guard(c.oLock);
      for (int32_t i = 0; i < c.i32Count; ++i) {
        released[count++] = c.apoTransports[i];
        c.apoTransports[i] = nullptr;
      }
      c.i32Count = 0;
      requests.swap(c.vRetargets);
    }
    for (const std::shared_ptr<Retarget> &request : requests) {
      request->poTransport->DecReferenceCount();
    }
    for (int32_t i = 0; i < count; ++i) {
      released[i]->SetRegistered(false);
      released[i]->KTX_Transport::Close();
      released[i]->DecReferenceCount();
    }
  }
  return KTX_RC_OK;
}

int32_t KTX_TransportList::GetTransportCount(int32_t p_i32Category) {
  Category *c = Find(p_i32Category);
  if (c == nullptr) {
    return 0;
  }
  OsalThreadMutexGuard guard(c->oLock);
  return c->i32Count;
}

KTX_Transport *KTX_TransportList::AcquireTransport(int32_t p_i32Category, int32_t p_i32Index) {
  Category *c = Find(p_i32Category);
  if (c == nullptr) {
    return nullptr;
  }
  OsalThreadMutexGuard guard(c->oLock);
  if (p_i32Index < 0 || p_i32Index >= c->i32Count) {
    return nullptr;
  }
  KTX_Transport *transport = c->apoTransports[p_i32Index];
  transport->IncReferenceCount();
  return transport;
}
