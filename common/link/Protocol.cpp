#include "link/Protocol.h"

#include "link/Message.h"
#include "link/Transport.h"
#include "operations/StateMachine.h"
#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"

namespace {

// Tick comparisons relative to now, so sorting survives the wrap of the 32-bit tick.
int32_t Until(uint32_t p_u32When, uint32_t p_u32Now) { return static_cast<int32_t>(p_u32When - p_u32Now); }

} // namespace

KTX_Protocol::KTX_Protocol(int32_t p_i32ClassType)
    : KTX_BaseClass(p_i32ClassType), c_poTransport(nullptr), c_apoPending{}, c_i32PendingCount(0),
      c_apoHeldBack{}, c_i32HeldBackCount(0), c_oRunning(true) {
  c_oAddress.SetStackVariable();
}

KTX_Protocol::~KTX_Protocol() {
  for (int32_t i = 0; i < c_i32PendingCount; ++i) {
    c_apoPending[i]->DecReferenceCount();
  }
  for (int32_t i = 0; i < c_i32HeldBackCount; ++i) {
    c_apoHeldBack[i]->DecReferenceCount();
  }
  if (c_poTransport != nullptr) {
    c_poTransport->DecReferenceCount();
  }
}

void KTX_Protocol::Settle(KTX_Message *p_poMessage, int32_t p_i32Result) {
  p_poMessage->SetState(p_poMessage->GetState(), 100, p_i32Result);
  p_poMessage->NotifyParentOfEvent();
}

int32_t KTX_Protocol::Register(KTX_Transport *p_poTransport) {
  {
    KTX_ObjectLockGuard guard(*this);
    if (c_poTransport != nullptr && c_poTransport != p_poTransport) {
      KTX_LOG(KTX_ASSERT, "KTX_Protocol::Register -- Already registered");
      return KTX_RC_INVALID_PARAMETER;
    }
    if (c_poTransport == nullptr) {
      p_poTransport->IncReferenceCount();
      c_poTransport = p_poTransport;
    }
  }
  p_poTransport->KTX_Transport::Open(this);
  return p_poTransport->Open(this);
}

int32_t KTX_Protocol::Close() {
  IncReferenceCount();
  KTX_Transport *transport = nullptr;
  // Requests still waiting when the link closes will never be answered: each
  // is settled as aborted, so no operation waits for ever.
  KTX_Message *open[2 * c_i32MaxMessages];
  int32_t openCount = 0;
  {
    KTX_ObjectLockGuard guard(*this);
    transport = c_poTransport;
    c_poTransport = nullptr;
    for (int32_t i = 0; i < c_i32PendingCount; ++i) {
      open[openCount++] = c_apoPending[i];
      c_apoPending[i] = nullptr;
    }
    for (int32_t i = 0; i < c_i32HeldBackCount; ++i) {
      open[openCount++] = c_apoHeldBack[i];
      c_apoHeldBack[i] = nullptr;
    }
    c_i32PendingCount = 0;
    c_i32HeldBackCount = 0;
  }
  int32_t rc = KTX_RC_INVALID_PARAMETER;
  if (transport != nullptr) {
    rc = transport->Close();
    transport->DecReferenceCount();
  } else {
    KTX_LOG(KTX_ASSERT, "KTX_Protocol::No Transport to Close");
  }
  for (int32_t i = 0; i < openCount; ++i) {
    Settle(open[i], KTX_RC_ABORTED);
    open[i]->DecReferenceCount();
  }
  DecReferenceCount();
  return rc;
}

KTX_Transport *KTX_Protocol::AcquireTransport() {
  KTX_ObjectLockGuard guard(*this);
  if (c_poTransport != nullptr) {
    c_poTransport->IncReferenceCount();
  }
  return c_poTransport;
}

int32_t KTX_Protocol::WaitUntilRunning(int32_t p_i32Milliseconds) {
  const int32_t rc = c_oRunning.Wait(p_i32Milliseconds);
  if (rc == KTX_RC_OK) {
    // Running stays signalled for whoever asks next.
    c_oRunning.Signal();
  }
  return rc;
}

int32_t KTX_Protocol::GetTimeOutMs(uint32_t p_u32Now) {
  const int32_t timeouts = CheckTimeOuts(p_u32Now);
  const int32_t heldBack = SendHeldBack(p_u32Now);
  // The nearest of the two that is due at all.
  if (timeouts <= 0) {
    return heldBack > 0 ? heldBack : 0;
  }
  if (heldBack <= 0) {
    return timeouts;
  }
  return timeouts < heldBack ? timeouts : heldBack;
}

int32_t KTX_Protocol::AddPending(KTX_Message *p_poMessage) {
  KTX_ObjectLockGuard guard(*this);
  if (c_i32PendingCount >= c_i32MaxMessages) {
    return KTX_RC_INTERNAL_OVERFLOW;
  }
  p_poMessage->IncReferenceCount();
  c_apoPending[c_i32PendingCount++] = p_poMessage;
  return KTX_RC_OK;
}

void KTX_Protocol::SortPending(uint32_t p_u32Now) {
  KTX_ObjectLockGuard guard(*this);
  for (int32_t i = 1; i < c_i32PendingCount; ++i) {
    KTX_Message *m = c_apoPending[i];
    int32_t j = i - 1;
    while (j >= 0 && Until(c_apoPending[j]->c_u32Deadline, p_u32Now) > Until(m->c_u32Deadline, p_u32Now)) {
      c_apoPending[j + 1] = c_apoPending[j];
      --j;
    }
    c_apoPending[j + 1] = m;
  }
}

KTX_Message *KTX_Protocol::TakePending(int32_t p_i32Sequence) {
  KTX_ObjectLockGuard guard(*this);
  for (int32_t i = 0; i < c_i32PendingCount; ++i) {
    if (c_apoPending[i]->GetSequence() == p_i32Sequence) {
      KTX_Message *m = c_apoPending[i];
      for (int32_t j = i + 1; j < c_i32PendingCount; ++j) {
        c_apoPending[j - 1] = c_apoPending[j];
      }
      c_apoPending[--c_i32PendingCount] = nullptr;
      return m;
    }
  }
  return nullptr;
}

int32_t KTX_Protocol::GetPendingCount() {
  KTX_ObjectLockGuard guard(*this);
  return c_i32PendingCount;
}

int32_t KTX_Protocol::GetHeldBackCount() {
  KTX_ObjectLockGuard guard(*this);
  return c_i32HeldBackCount;
}

int32_t KTX_Protocol::CheckTimeOuts(uint32_t p_u32Now) {
  // Messages settled here are notified after the lock is released, so an
  // operation's handler never runs inside the protocol's lock on the worker.
  KTX_Message *settled[c_i32MaxMessages];
  int32_t settledResults[c_i32MaxMessages];
  int32_t settledCount = 0;
  int32_t result = 0;
  {
    KTX_ObjectLockGuard guard(*this);
    SortPending(p_u32Now);
    bool lastWasAbortRequested = false;
    while (c_i32PendingCount > 0) {
      KTX_Message *m = c_apoPending[0];
      const int32_t wait = Until(m->c_u32Deadline, p_u32Now);
      if (wait > 0) {
        result = wait;
        break;
      }
      KTX_LOG(KTX_WARNING, "KTX_Protocol::GetTimeOutMs -- Message Has Timed Out");
      for (int32_t j = 1; j < c_i32PendingCount; ++j) {
        c_apoPending[j - 1] = c_apoPending[j];
      }
      c_apoPending[--c_i32PendingCount] = nullptr;
      lastWasAbortRequested = m->GetState() == KTX_SM_STATE_ABORT_REQUESTED;
      int32_t rc = KTX_RC_TIME_OUT;
      if (m->GetRetries() != 0) {
        m->SetRetries(m->GetRetries() - 1);
        rc = SendMessage(m);
      }
      // A re-send that fails before the message is on the wire (and before
      // anyone was told) would otherwise leave the operation waiting for ever.
      if (rc != KTX_RC_OK && rc != KTX_RC_ABORTING && rc != KTX_RC_OPERATION_FAILED) {
        settled[settledCount] = m;
        settledResults[settledCount++] = rc;
      } else {
        m->DecReferenceCount();
      }
    }
    if (result == 0 && lastWasAbortRequested && c_i32PendingCount == 0) {
      result = 1;
    }
  }
  for (int32_t i = 0; i < settledCount; ++i) {
    Settle(settled[i], settledResults[i]);
    settled[i]->DecReferenceCount();
  }
  return result;
}

int32_t KTX_Protocol::HoldBack(KTX_Message *p_poMessage) {
  KTX_ObjectLockGuard guard(*this);
  if (c_i32HeldBackCount >= c_i32MaxMessages) {
    return KTX_RC_INTERNAL_OVERFLOW;
  }
  p_poMessage->c_u32SendTime = OsalGetTickCount() + static_cast<uint32_t>(p_poMessage->c_i32SendDelay);
  p_poMessage->c_i32SendDelay = 0;
  p_poMessage->IncReferenceCount();
  c_apoHeldBack[c_i32HeldBackCount++] = p_poMessage;
  return KTX_RC_OK;
}

void KTX_Protocol::SortHeldBack(uint32_t p_u32Now) {
  KTX_ObjectLockGuard guard(*this);
  for (int32_t i = 1; i < c_i32HeldBackCount; ++i) {
    KTX_Message *m = c_apoHeldBack[i];
    int32_t j = i - 1;
    while (j >= 0 && Until(c_apoHeldBack[j]->c_u32SendTime, p_u32Now) > Until(m->c_u32SendTime, p_u32Now)) {
      c_apoHeldBack[j + 1] = c_apoHeldBack[j];
      --j;
    }
    c_apoHeldBack[j + 1] = m;
  }
}

int32_t KTX_Protocol::SendHeldBack(uint32_t p_u32Now) {
  KTX_Message *failed[c_i32MaxMessages];
  int32_t failedResults[c_i32MaxMessages];
  int32_t failedCount = 0;
  int32_t result = 0;
  {
    KTX_ObjectLockGuard guard(*this);
    SortHeldBack(p_u32Now);
    while (c_i32HeldBackCount > 0) {
      KTX_Message *m = c_apoHeldBack[0];
      const int32_t wait = Until(m->c_u32SendTime, p_u32Now);
      if (wait > 0) {
        result = wait;
        break;
      }
      if (c_i32PendingCount > 0) {
        result = 10000;
        break;
      }
      for (int32_t j = 1; j < c_i32HeldBackCount; ++j) {
        c_apoHeldBack[j - 1] = c_apoHeldBack[j];
      }
      c_apoHeldBack[--c_i32HeldBackCount] = nullptr;
      const int32_t rc = SendMessage(m);
      if (rc != KTX_RC_OK && rc != KTX_RC_ABORTING && rc != KTX_RC_OPERATION_FAILED) {
        failed[failedCount] = m;
        failedResults[failedCount++] = rc;
      } else {
        m->DecReferenceCount();
      }
    }
  }
  for (int32_t i = 0; i < failedCount; ++i) {
    Settle(failed[i], failedResults[i]);
    failed[i]->DecReferenceCount();
  }
  return result;
}
