#include "link/MessageReactor.h"

#include "link/Transport.h"
#include "link/TransportList.h"
#include "runtime/ActiveObjectBuilder.h"
#include "runtime/ActiveObjectBuilderSupervisor.h"
#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/Thread.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// The reactor whose workers a registration or re-target request wakes.
std::atomic<KTX_MessageReactor *> g_poWakeTarget{nullptr};

KTX_ActiveObject *MakeReactor() { return new KTX_MessageReactor(); }

void DrainEvent(int p_iFd) {
  uint64_t value = 0;
  (void)::read(p_iFd, &value, sizeof value);
}

// The transports of a category with a reference each, in list order.
int32_t SnapshotTransports(int32_t p_i32Category, KTX_Transport *(&p_rapoOut)[KTX_TransportList::c_i32MaxTransports]) {
  int32_t count = 0;
  for (int32_t i = 0; i < KTX_TransportList::c_i32MaxTransports; ++i) {
    KTX_Transport *t = KTX_TransportList::AcquireTransport(p_i32Category, i);
    if (t == nullptr) {
      break;
    }
    p_rapoOut[count++] = t;
  }
  return count;
}

void ReleaseTransports(KTX_Transport *const *p_papoTransports, int32_t p_i32Count) {
  for (int32_t i = 0; i < p_i32Count; ++i) {
    p_papoTransports[i]->DecReferenceCount();
  }
}

// The wait of one pass: 500 ms, lowered to the smallest non-zero answer of the
// transports, measured from the expected end of the previous wait.
int32_t PassWait(KTX_Transport *const *p_papoTransports, int32_t p_i32Count, uint32_t p_u32Reference) {
  int32_t wait = KTX_MessageReactor::c_i32MaxWaitMs;
  for (int32_t i = 0; i < p_i32Count; ++i) {
    const int32_t t = p_papoTransports[i]->GetTimeOutMs(p_u32Reference);
    if (t > 0 && t < wait) {
      wait = t;
    }
  }
  return wait;
}

} // namespace

void KTX_MessageReactor::RegisterWithBuilder() {
  KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, &MakeReactor);
}

KTX_MessageReactor::KTX_MessageReactor()
    : KTX_ActiveObject(KTX_BASE_CLASS_MESSAGE_REACTOR, nullptr, "MessageReactor", c_i32Priority, c_i32StackSize,
                       nullptr, 0),
      c_bPreStarted(false), c_bStarted(false), c_i32WorkerCount(0), c_apoWorkers{}, c_bEthernetFinished(true),
      c_bSerialFinished(true), c_bReady(false), c_bEthernetClosed(false), c_bHasEthernetWorker(false),
      c_bHasSerialWorker(false), c_iWakeEthernet(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      c_iWakeSerial(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), c_oHeartbeatWake(true) {}

KTX_MessageReactor::~KTX_MessageReactor() {
  KTX_MessageReactor *self = this;
  g_poWakeTarget.compare_exchange_strong(self, nullptr);
  for (int32_t i = 0; i < c_i32WorkerCount.load(); ++i) {
    c_apoWorkers[i]->Delete();
    c_apoWorkers[i] = nullptr;
  }
  if (c_iWakeEthernet >= 0) {
    ::close(c_iWakeEthernet);
  }
  if (c_iWakeSerial >= 0) {
    ::close(c_iWakeSerial);
  }
}

KTX_Thread *KTX_MessageReactor::GetWorker(int32_t p_i32Index) const {
  return p_i32Index >= 0 && p_i32Index < c_i32WorkerCount.load(std::memory_order_acquire) ? c_apoWorkers[p_i32Index]
                                                                                           : nullptr;
}

void KTX_MessageReactor::WakeCategory(int32_t p_i32Category) {
  if (KTX_MessageReactor *reactor = g_poWakeTarget.load(std::memory_order_acquire)) {
    reactor->Wake(p_i32Category);
  }
}

void KTX_MessageReactor::Wake(int32_t p_i32Category) {
  const uint64_t one = 1;
  if (p_i32Category == KTX_TRANSPORT_ETHERNET || p_i32Category == 0) {
    (void)::write(c_iWakeEthernet, &one, sizeof one);
  }
  if (p_i32Category == KTX_TRANSPORT_SERIAL || p_i32Category == 0) {
    (void)::write(c_iWakeSerial, &one, sizeof one);
  }
  c_oHeartbeatWake.Signal();
}

int32_t KTX_MessageReactor::OnCreate() { return KTX_RC_OK; }

int32_t KTX_MessageReactor::OnPreStart() {
  if (c_bPreStarted.exchange(true)) {
    return c_i32AlreadyDone;
  }
  g_poWakeTarget.store(this, std::memory_order_release);
  KTX_TransportList::SetWakeFunction(&WakeCategory);
  return KTX_RC_OK;
}

int32_t KTX_MessageReactor::OnStart() {
  if (c_bStarted.exchange(true)) {
    return c_i32AlreadyDone;
  }
  c_bReady.store(true, std::memory_order_release);
  return KTX_RC_OK;
}

int32_t KTX_MessageReactor::OnPreStop() {
  c_bReady.store(false, std::memory_order_release);
  Wake(0);
  return KTX_RC_OK;
}

int32_t KTX_MessageReactor::OnStop() {
  const int32_t rc = KTX_TransportList::ClearTransportList();
  while (c_bReady.load(std::memory_order_acquire) && !c_bEthernetClosed.load(std::memory_order_acquire)) {
    OsalSleep(50);
  }
  return rc;
}

int32_t KTX_MessageReactor::OnDestroy() {
  KTX_MessageReactor *self = this;
  g_poWakeTarget.compare_exchange_strong(self, nullptr);
  ForgetMessageReactor(this);
  return KTX_RC_OK;
}

void KTX_MessageReactor::CreateWorker(const char *p_szName, int32_t (*p_pfnBody)(void *, int32_t)) {
  const int32_t index = c_i32WorkerCount.load(std::memory_order_acquire);
  if (index >= c_i32MaxWorkers) {
    return;
  }
  KTX_Thread *worker = new KTX_Thread(p_pfnBody, p_szName, c_i32Priority, c_i32WorkerStackSize, this, 0);
  c_apoWorkers[index] = worker;
  c_i32WorkerCount.store(index + 1, std::memory_order_release);
  worker->Start();
}

int32_t KTX_MessageReactor::Run(void *, int32_t) {
  // After a restart the workers made before run again.
  for (int32_t i = 0; i < c_i32WorkerCount.load(); ++i) {
    if (!c_apoWorkers[i]->IsRunning()) {
      c_apoWorkers[i]->Start();
    }
  }
  while (!IsStopRequested()) {
    if (!c_bHasSerialWorker.load() && KTX_TransportList::GetTransportCount(KTX_TRANSPORT_SERIAL) > 0) {
      c_bHasSerialWorker.store(true);
      c_bSerialFinished.store(false, std::memory_order_release);
      CreateWorker("ReactorSerial", &SerialWorker);
    }
    if (!c_bHasEthernetWorker.load() && KTX_TransportList::GetTransportCount(KTX_TRANSPORT_ETHERNET) > 0) {
      c_bHasEthernetWorker.store(true);
      c_bEthernetFinished.store(false, std::memory_order_release);
      CreateWorker("ReactorEthernet", &EthernetWorker);
    }
    AdvanceHeartbeat();
    c_oHeartbeatWake.Wait(c_i32MaxWaitMs);
  }
  while (!c_bEthernetFinished.load(std::memory_order_acquire) || !c_bSerialFinished.load(std::memory_order_acquire)) {
    Wake(0);
    OsalSleep(50);
  }
  for (int32_t i = 0; i < c_i32WorkerCount.load(); ++i) {
    c_apoWorkers[i]->Suspend();
  }
  SetBodyFinished();
  return KTX_RC_OK;
}

bool KTX_MessageReactor::WaitUntilReady() {
  while (!c_bReady.load(std::memory_order_acquire)) {
    if (IsStopRequested()) {
      return false;
    }
    OsalSleep(100);
  }
  return true;
}

int32_t KTX_MessageReactor::EthernetWorker(void *p_poUser, int32_t) {
  return static_cast<KTX_MessageReactor *>(p_poUser)->RunEthernet();
}

int32_t KTX_MessageReactor::SerialWorker(void *p_poUser, int32_t) {
  return static_cast<KTX_MessageReactor *>(p_poUser)->RunSerial();
}

int32_t KTX_MessageReactor::RunEthernet() {
  uint32_t reference = OsalGetTickCount();
  KTX_TransportList::SetWorkerThread(KTX_TRANSPORT_ETHERNET, OsalGetCurrentThreadId());
  if (WaitUntilReady()) {
    int32_t position = 0;
    int32_t rc = KTX_TransportList::StartTransports(KTX_TRANSPORT_ETHERNET, position);
    if (rc != KTX_RC_OK) {
      KTX_LOG(KTX_ERROR, "*** ERROR %d *** -- ThreadPreStart failed", rc);
    } else {
      while (!IsStopRequested()) {
        KTX_TransportList::StartTransports(KTX_TRANSPORT_ETHERNET, position);
        KTX_Transport *transports[KTX_TransportList::c_i32MaxTransports];
        const int32_t count = SnapshotTransports(KTX_TRANSPORT_ETHERNET, transports);
        pollfd fds[KTX_TransportList::c_i32MaxTransports + 1];
        int32_t owner[KTX_TransportList::c_i32MaxTransports + 1];
        int32_t n = 0;
        for (int32_t i = 0; i < count; ++i) {
          const int read = transports[i]->GetReadHandle();
          const int write = transports[i]->GetWriteHandle();
          const int except = transports[i]->GetExceptHandle();
          if (read < 0 && write < 0 && except < 0) {
            continue;
          }
          const int fd = read >= 0 ? read : (write >= 0 ? write : except);
          short events = 0;
          if (read >= 0) events |= POLLIN;
          if (write >= 0) events |= POLLOUT;
          if (except >= 0) events |= POLLPRI;
          fds[n] = pollfd{fd, events, 0};
          owner[n++] = i;
        }
        fds[n] = pollfd{c_iWakeEthernet, POLLIN, 0};
        const int32_t wait = PassWait(transports, count, reference);
        reference = OsalGetTickCount() + static_cast<uint32_t>(wait);
        const int ready = ::poll(fds, static_cast<nfds_t>(n + 1), OsalTicksToRealMs(wait));
        if (ready < 0 && errno != EINTR) {
          KTX_LOG(KTX_ASSERT, "select returned SOCKET_ERROR");
          OsalSleep(1000);
        } else if (ready > 0) {
          if (fds[n].revents != 0) {
            DrainEvent(c_iWakeEthernet);
          }
          for (int32_t k = 0; k < n; ++k) {
            KTX_Transport *t = transports[owner[k]];
            // An error or hang-up on a socket is reported to the reader, which sees the failure.
            if ((fds[k].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
              t->ReadReady();
            }
            if ((fds[k].revents & POLLOUT) != 0) {
              t->WriteReady();
            }
            if ((fds[k].revents & POLLPRI) != 0) {
              t->ExceptReady();
            }
          }
        }
        ReleaseTransports(transports, count);
      }
      KTX_LOG(KTX_INFO, "ThreadFinishEthernet");
      rc = KTX_TransportList::CloseTransports(KTX_TRANSPORT_ETHERNET);
      if (rc == KTX_RC_OK) {
        c_bEthernetClosed.store(true, std::memory_order_release);
      } else {
        KTX_LOG(KTX_ASSERT, "KTX_MessageReactor ==> ThreadFinishEthernet failed: %d", rc);
      }
    }
  }
  KTX_TransportList::SetWorkerThread(KTX_TRANSPORT_ETHERNET, 0);
  c_bEthernetFinished.store(true, std::memory_order_release);
  return KTX_RC_OK;
}

int32_t KTX_MessageReactor::WaitForReadReadySerial(const int *p_piHandles, int32_t p_i32Count,
                                                   int32_t &p_ri32Index, int32_t p_i32Milliseconds) {
  pollfd fds[KTX_TransportList::c_i32MaxTransports + 1];
  int32_t owner[KTX_TransportList::c_i32MaxTransports + 1];
  int32_t n = 0;
  for (int32_t i = 0; i < p_i32Count && i < KTX_TransportList::c_i32MaxTransports; ++i) {
    if (p_piHandles[i] >= 0) {
      fds[n] = pollfd{p_piHandles[i], POLLIN, 0};
      owner[n++] = i;
    }
  }
  fds[n] = pollfd{c_iWakeSerial, POLLIN, 0};
  const int ready = ::poll(fds, static_cast<nfds_t>(n + 1), p_i32Milliseconds);
  if (ready < 0) {
    if (errno == EINTR) {
      return KTX_RC_TIME_OUT;
    }
    KTX_LOG(KTX_ERROR, "KTX_MessageReactor::WaitForReadReadySerial  Unexpected Error %d", errno);
    return KTX_RC_INTERNAL_ERROR;
  }
  if (fds[n].revents != 0) {
    DrainEvent(c_iWakeSerial);
  }
  for (int32_t k = 0; k < n; ++k) {
    if ((fds[k].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
      p_ri32Index = owner[k];
      return KTX_RC_OK;
    }
  }
  return KTX_RC_TIME_OUT;
}

int32_t KTX_MessageReactor::RunSerial() {
  uint32_t reference = OsalGetTickCount();
  int32_t position = 0;
  KTX_TransportList::SetWorkerThread(KTX_TRANSPORT_SERIAL, OsalGetCurrentThreadId());
  while (!IsStopRequested()) {
    KTX_TransportList::StartTransports(KTX_TRANSPORT_SERIAL, position);
    KTX_Transport *transports[KTX_TransportList::c_i32MaxTransports];
    const int32_t count = SnapshotTransports(KTX_TRANSPORT_SERIAL, transports);
    int handles[KTX_TransportList::c_i32MaxTransports];
    for (int32_t i = 0; i < count; ++i) {
      handles[i] = transports[i]->GetReadHandle();
    }
    const int32_t wait = PassWait(transports, count, reference);
    reference = OsalGetTickCount() + static_cast<uint32_t>(wait);
    int32_t index = -1;
    const int32_t rc = WaitForReadReadySerial(handles, count, index, OsalTicksToRealMs(wait));
    if (rc == KTX_RC_OK) {
      transports[index]->ReadReady();
    } else if (rc != KTX_RC_TIME_OUT) {
      KTX_LOG(KTX_ERROR, "%s::ThreadSerial Error WaitForReadReadySerial returned unexpected result %d", GetName(), rc);
      OsalSleep(500);
    }
    ReleaseTransports(transports, count);
  }
  KTX_LOG(KTX_INFO, "ThreadFinishSerial");
  const int32_t rc = KTX_TransportList::CloseTransports(KTX_TRANSPORT_SERIAL);
  if (rc != KTX_RC_OK) {
    KTX_LOG(KTX_ASSERT, "KTX_MessageReactor ==> ThreadFinishSerial failed: %d", rc);
  }
  KTX_TransportList::SetWorkerThread(KTX_TRANSPORT_SERIAL, 0);
  c_bSerialFinished.store(true, std::memory_order_release);
  return KTX_RC_OK;
}
