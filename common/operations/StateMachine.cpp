#include "operations/StateMachine.h"

#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"

#include <cstring>

KTX_StateMachine::KTX_StateMachine(int32_t p_i32ClassType)
    : KTX_BaseClass(p_i32ClassType), c_oDataLock(), c_poParent(nullptr), c_apoChildren{}, c_i32ChildCount(0),
      c_i32ChildWalks(0), c_i32Result(KTX_RC_STATE_MACHINE_IN_PROGRESS), c_aoHistory{} {}

KTX_StateMachine::~KTX_StateMachine() {
  // A parent and every child hold a reference to this machine, so none can be
  // left here unless the object was destroyed behind the reference counts.
  KTX_CHECK(c_poParent == nullptr);
  KTX_CHECK(c_i32ChildCount == 0);
  KTX_CHECK(c_i32ChildWalks == 0);
  for (KTX_StateMachine *child : c_vpoDetachedDuringWalk) {
    child->DecReferenceCount();
  }
}

int32_t KTX_StateMachine::RegisterParent(KTX_StateMachine *p_poParent) {
  if (p_poParent == nullptr || p_poParent == this) {
    KTX_CHECK(p_poParent != nullptr && p_poParent != this);
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_StateMachine *refused = nullptr;
  int32_t rc = KTX_RC_OK;
  {
    KTX_ObjectLockGuard guard(*this);
    if (c_poParent != nullptr) {
      KTX_LOG(KTX_ASSERT, "RegisterParent -- There already is a parent");
      return KTX_RC_OK;
    }
    p_poParent->IncReferenceCount();
    SetParentLink(p_poParent);
    rc = p_poParent->RegisterChild(this);
    if (rc != KTX_RC_OK) {
      // A parent that does not list this machine would never detach it, and the
      // reference to it would never be given back: undo the link.
      SetParentLink(nullptr);
      refused = p_poParent;
    }
  }
  if (refused != nullptr) {
    refused->DecReferenceCount();
  }
  return rc;
}

int32_t KTX_StateMachine::DeregisterParent(KTX_StateMachine *p_poParent) {
  IncReferenceCount();
  KTX_StateMachine *released = nullptr;
  {
    KTX_ObjectLockGuard guard(*this);
    if (p_poParent != nullptr && p_poParent == c_poParent) {
      p_poParent->DeregisterChild(this);
      SetParentLink(nullptr);
      released = p_poParent;
    } else {
      KTX_LOG(KTX_ASSERT, "DeregisterParent -- Wrong parent");
    }
  }
  if (released != nullptr) {
    released->DecReferenceCount();
  }
  // May destroy this machine when the parent held the last other reference.
  DecReferenceCount();
  return KTX_RC_OK;
}

int32_t KTX_StateMachine::Run() {
  KTX_LOG(KTX_ASSERT, "KTX_StateMachine::Run() - Not inplemented for this Class");
  return KTX_RC_OPERATION_NOT_PERMITTED;
}

int32_t KTX_StateMachine::Abort() {
  const int32_t rc = AbortChildren();
  if (rc == KTX_RC_ABORTED) {
    SetState(KTX_SM_STATE_ABORTED, 100, rc);
  } else {
    SetState(KTX_SM_STATE_ABORT_REQUESTED, 99, rc);
  }
  return rc;
}

void KTX_StateMachine::NotifyParentOfEvent() {
  // The lock is held while the event climbs: the parent cannot be detached (and
  // released) by another thread meanwhile, and the parent's lock is only ever
  // taken after this one.
  KTX_ObjectLockGuard guard(*this);
  if (c_poParent != nullptr) {
    KTX_LOG(KTX_DBG5, "===== %s->ChildNotificationOfEvent(%s)", c_poParent->GetName(), GetName());
    c_poParent->ChildNotificationOfEvent(this);
  }
}

void KTX_StateMachine::ChildNotificationOfEvent(KTX_StateMachine * /*p_poChild*/) {
  KTX_ObjectLockGuard guard(*this);
  if (c_poParent != nullptr) {
    KTX_LOG(KTX_DBG5, "===== %s->NotifyParentOfEvent()", GetName());
    NotifyParentOfEvent();
  }
}

void KTX_StateMachine::DeregisterAllChildren() {
  IncReferenceCount();
  // Each round removes the first child, so the rounds are bounded by the
  // children present plus any that other threads keep registering.
  for (int32_t round = 0; round < 1000; ++round) {
    KTX_StateMachine *first = nullptr;
    {
      OsalThreadMutexGuard guard(c_oDataLock);
      if (c_i32ChildCount == 0) {
        break;
      }
      first = c_apoChildren[0];
      ++c_i32ChildWalks;
    }
    first->DeregisterParent(this);
    bool stillListed = false;
    {
      OsalThreadMutexGuard guard(c_oDataLock);
      for (int32_t i = 0; i < c_i32ChildCount; ++i) {
        stillListed = stillListed || c_apoChildren[i] == first;
      }
    }
    if (stillListed) {
      // Listed without naming this machine as its parent: asking it changes
      // nothing, so drop it here instead of asking for ever.
      DeregisterChild(first);
    }
    EndChildWalk();
  }
  DecReferenceCount();
}

int32_t KTX_StateMachine::AbortChildren() {
  KTX_StateMachine *snapshot[c_i32MaxChildren];
  const int32_t count = BeginChildWalk(snapshot);
  for (int32_t i = 0; i < count; ++i) {
    snapshot[i]->Abort();
  }
  EndChildWalk();
  return KTX_RC_OK;
}

int32_t KTX_StateMachine::RegisterChild(KTX_StateMachine *p_poChild) {
  if (p_poChild == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  // Taken before this machine's lock: a child's lock never follows its parent's.
  p_poChild->IncReferenceCount();
  int32_t rc = KTX_RC_OK;
  {
    OsalThreadMutexGuard guard(c_oDataLock);
    bool listed = false;
    for (int32_t i = 0; i < c_i32ChildCount; ++i) {
      listed = listed || c_apoChildren[i] == p_poChild;
    }
    if (listed) {
      rc = KTX_RC_INVALID_PARAMETER;
    } else if (c_i32ChildCount >= c_i32MaxChildren) {
      rc = KTX_RC_INTERNAL_OVERFLOW;
    } else {
      c_apoChildren[c_i32ChildCount++] = p_poChild;
    }
  }
  if (rc == KTX_RC_INVALID_PARAMETER) {
    KTX_LOG(KTX_ASSERT, "RegisterChild -- Child is already registered");
  }
  if (rc != KTX_RC_OK) {
    p_poChild->DecReferenceCount();
  }
  return rc;
}

int32_t KTX_StateMachine::DeregisterChild(KTX_StateMachine *p_poChild) {
  if (p_poChild == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  bool found = false;
  KTX_StateMachine *released = nullptr;
  {
    OsalThreadMutexGuard guard(c_oDataLock);
    for (int32_t i = 0; i < c_i32ChildCount; ++i) {
      if (c_apoChildren[i] == p_poChild) {
        c_apoChildren[i] = c_apoChildren[c_i32ChildCount - 1];
        c_apoChildren[--c_i32ChildCount] = nullptr;
        found = true;
        break;
      }
    }
    if (found) {
      if (c_i32ChildWalks > 0) {
        c_vpoDetachedDuringWalk.push_back(p_poChild);
      } else {
        released = p_poChild;
      }
    }
  }
  if (!found) {
    KTX_LOG(KTX_ASSERT, "DeregisterChild -- Child is not registered");
    return KTX_RC_INVALID_PARAMETER;
  }
  if (released != nullptr) {
    released->DecReferenceCount();
  }
  return KTX_RC_OK;
}

void KTX_StateMachine::SetState(int32_t p_i32State, int32_t p_i32Progress, int32_t p_i32Result) {
  const uint32_t now = OsalGetTickCount();
  OsalThreadMutexGuard guard(c_oDataLock);
  HistoryRecord &newest = c_aoHistory[0];
  if (p_i32State != newest.i32State || static_cast<uint32_t>(now - newest.u32Tick) > c_u32SameStateWindowMs) {
    std::memmove(&c_aoHistory[1], &c_aoHistory[0], sizeof(HistoryRecord) * (c_i32HistoryDepth - 1));
    c_aoHistory[0].u32Tick = now;
  }
  c_aoHistory[0].i32State = p_i32State;
  c_aoHistory[0].i32Progress = p_i32Progress;
  c_aoHistory[0].i32Result = p_i32Result;
  c_i32Result = p_i32Result;
}

void KTX_StateMachine::SetParentLink(KTX_StateMachine *p_poParent) {
  OsalThreadMutexGuard guard(c_oDataLock);
  c_poParent = p_poParent;
}

void KTX_StateMachine::SetResult(int32_t p_i32Result) {
  OsalThreadMutexGuard guard(c_oDataLock);
  c_i32Result = p_i32Result;
}

int32_t KTX_StateMachine::GetState() const {
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_aoHistory[0].i32State;
}

int32_t KTX_StateMachine::GetProgress() const {
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_aoHistory[0].i32Progress;
}

int32_t KTX_StateMachine::GetResult() const {
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_i32Result;
}

KTX_StateMachine::HistoryRecord KTX_StateMachine::GetHistory(int32_t p_i32Index) const {
  if (p_i32Index < 0 || p_i32Index >= c_i32HistoryDepth) {
    return HistoryRecord{};
  }
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_aoHistory[p_i32Index];
}

KTX_StateMachine *KTX_StateMachine::GetNextChild(KTX_StateMachine *p_poPrevious) {
  OsalThreadMutexGuard guard(c_oDataLock);
  if (p_poPrevious == nullptr) {
    return c_i32ChildCount > 0 ? c_apoChildren[0] : nullptr;
  }
  for (int32_t i = 0; i + 1 < c_i32ChildCount; ++i) {
    if (c_apoChildren[i] == p_poPrevious) {
      return c_apoChildren[i + 1];
    }
  }
  return nullptr;
}

KTX_StateMachine *KTX_StateMachine::GetNextSibling() {
  // The object lock keeps the parent link (and so the parent) for the call; the
  // parent's data lock is a leaf, so taking it under this lock is safe.
  KTX_ObjectLockGuard guard(*this);
  return c_poParent != nullptr ? c_poParent->GetNextChild(this) : nullptr;
}

KTX_StateMachine *KTX_StateMachine::GetParent() {
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_poParent;
}

int32_t KTX_StateMachine::GetChildCount() {
  OsalThreadMutexGuard guard(c_oDataLock);
  return c_i32ChildCount;
}

int32_t KTX_StateMachine::GetLeafResult() {
  // Hand over hand down the data locks: while a parent's data lock is held its
  // first child cannot leave the list, so it stays alive until its own data
  // lock is taken. Only the data locks are touched, so a caller holding object
  // locks anywhere in the tree cannot deadlock here.
  const KTX_StateMachine *current = this;
  int32_t key = 0;
  current->c_oDataLock.Lock(key);
  for (int32_t depth = 0; depth < c_i32MaxLeafDepth && current->c_i32ChildCount > 0; ++depth) {
    const KTX_StateMachine *child = current->c_apoChildren[0];
    int32_t childKey = 0;
    child->c_oDataLock.Lock(childKey);
    current->c_oDataLock.Unlock(key);
    current = child;
    key = childKey;
  }
  const int32_t result = current->c_i32Result;
  current->c_oDataLock.Unlock(key);
  return result;
}

int32_t KTX_StateMachine::BeginChildWalk(KTX_StateMachine *(&p_rapoSnapshot)[c_i32MaxChildren]) {
  OsalThreadMutexGuard guard(c_oDataLock);
  ++c_i32ChildWalks;
  for (int32_t i = 0; i < c_i32ChildCount; ++i) {
    p_rapoSnapshot[i] = c_apoChildren[i];
  }
  return c_i32ChildCount;
}

void KTX_StateMachine::EndChildWalk() {
  std::vector<KTX_StateMachine *> released;
  {
    OsalThreadMutexGuard guard(c_oDataLock);
    KTX_CHECK(c_i32ChildWalks > 0);
    if (c_i32ChildWalks > 0 && --c_i32ChildWalks == 0) {
      released.swap(c_vpoDetachedDuringWalk);
    }
  }
  for (KTX_StateMachine *child : released) {
    child->DecReferenceCount();
  }
}
