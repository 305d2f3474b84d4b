#include "operations/StateMachineGUI.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

namespace {

// Operations that report several steps before they end, with the state that
// ends each of them.
struct FinishedState {
  int32_t i32ClassType;
  int32_t i32State;
};
constexpr FinishedState kFinishedStates[] = {
    {KTX_BASE_CLASS_COM_ERASE_CONFIG, 3333},    {KTX_BASE_CLASS_COM_FILE_READER_GUI, 1540},
    {KTX_BASE_CLASS_COM_FILE_WRITER_GUI, 1798}, {KTX_BASE_CLASS_COM_LEARN_CHANNEL, 2819},
    {KTX_BASE_CLASS_COM_LEARN, 2833},           {KTX_BASE_CLASS_COM_SET_MODE, 2053},
    {KTX_BASE_CLASS_DEVICE_STATE_READER, 402},  {KTX_BASE_CLASS_SOFTWARE_UPDATER, 1030},
};

unsigned AddressText(const void *p_pvObject) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p_pvObject)); }

} // namespace

KTX_StateMachineGUI::KTX_StateMachineGUI(KTX_WindowPoster *p_poWindow)
    : KTX_StateMachine(KTX_BASE_CLASS_STATE_MACHINE), c_poWindow(p_poWindow) {
  for (MessageMapEntry &entry : c_aoMessageMap) {
    entry = MessageMapEntry{c_i32FreeEntryClassType, 0};
  }
}

KTX_StateMachineGUI::~KTX_StateMachineGUI() {
  std::vector<KTX_StateMachine *> pending;
  {
    OsalThreadMutexGuard guard(c_oPendingLock);
    pending.swap(c_vpoPending);
  }
  for (KTX_StateMachine *child : pending) {
    child->DecReferenceCount();
  }
}

void KTX_StateMachineGUI::NotifyParentOfEvent() { KTX_StateMachine::NotifyParentOfEvent(); }

void KTX_StateMachineGUI::SetMessage(int32_t p_i32ClassType, uint32_t p_u32Message) {
  KTX_ObjectLockGuard guard(*this);
  for (MessageMapEntry &entry : c_aoMessageMap) {
    if (entry.i32ClassType == c_i32FreeEntryClassType) {
      entry = MessageMapEntry{p_i32ClassType, p_u32Message};
      return;
    }
  }
}

void KTX_StateMachineGUI::SetWindow(KTX_WindowPoster *p_poWindow) {
  KTX_ObjectLockGuard guard(*this);
  c_poWindow = p_poWindow;
}

uint32_t KTX_StateMachineGUI::MakeNotificationParam(int32_t p_i32State, int32_t p_i32Result) {
  return (static_cast<uint32_t>(p_i32State) << 16) + (static_cast<uint32_t>(p_i32Result) & 0xFFFFu);
}

bool KTX_StateMachineGUI::KeepChild(KTX_StateMachine * /*p_poChild*/) { return false; }

bool KTX_StateMachineGUI::IsChildDone(KTX_StateMachine *p_poChild, int32_t p_i32State) {
  if (p_i32State == KTX_SM_STATE_ABORT_REQUESTED || p_i32State == KTX_SM_STATE_ABORTED ||
      p_i32State == KTX_SM_STATE_FAILED) {
    return true;
  }
  const int32_t classType = p_poChild->GetClassType();
  for (const FinishedState &finished : kFinishedStates) {
    if (finished.i32ClassType == classType) {
      return p_i32State == finished.i32State;
    }
  }
  if (classType == KTX_BASE_CLASS_MESSAGE_SUPERVISOR) {
    return true;
  }
  return !KeepChild(p_poChild);
}

void KTX_StateMachineGUI::ChildNotificationOfEvent(KTX_StateMachine *p_poChild) {
  if (p_poChild == nullptr) {
    return;
  }
  const int32_t leafResult = p_poChild->GetLeafResult();
  const int32_t state = p_poChild->GetState();
  IncReferenceCount();
  // The pending list's reference is taken before this machine's lock (a
  // child's lock never follows its parent's) and given back if nothing is posted.
  p_poChild->IncReferenceCount();
  bool posted = false;
  {
    KTX_ObjectLockGuard guard(*this);
    uint32_t message = 0;
    for (const MessageMapEntry &entry : c_aoMessageMap) {
      if (entry.i32ClassType == p_poChild->GetClassType()) {
        message = entry.u32Message;
        break;
      }
    }
    if (message != 0 && c_poWindow != nullptr && c_poWindow->IsWindowAlive()) {
      {
        OsalThreadMutexGuard pendingGuard(c_oPendingLock);
        KTX_LOG(KTX_DBG5, "KTX_StateMachineGUI: Pending object added to list: 0x%X", AddressText(p_poChild));
        c_vpoPending.push_back(p_poChild);
      }
      posted = c_poWindow->PostNotification(message, p_poChild, MakeNotificationParam(state, leafResult));
      if (!posted) {
        OsalThreadMutexGuard pendingGuard(c_oPendingLock);
        KTX_LOG(KTX_DBG5, "KTX_StateMachineGUI: PostMessage failed");
        for (auto it = c_vpoPending.rbegin(); it != c_vpoPending.rend(); ++it) {
          if (*it == p_poChild) {
            c_vpoPending.erase(std::next(it).base());
            break;
          }
        }
      }
    }
  }
  if (!posted) {
    p_poChild->DecReferenceCount();
  }
  // Detached outside this machine's lock, for the same lock order; a child that
  // could not be posted is detached by the same rule as one that was.
  if (IsChildDone(p_poChild, state) && p_poChild->GetParent() == this) {
    p_poChild->DeregisterParent(this);
  }
  NotifyParentOfEvent();
  DecReferenceCount();
}

int32_t KTX_StateMachineGUI::RemovePendingObject(KTX_StateMachine *p_poChild) {
  bool found = false;
  {
    OsalThreadMutexGuard guard(c_oPendingLock);
    for (auto it = c_vpoPending.begin(); it != c_vpoPending.end(); ++it) {
      if (*it == p_poChild) {
        KTX_LOG(KTX_DBG5, "KTX_StateMachineGUI: Pending object removed from list: 0x%X", AddressText(p_poChild));
        c_vpoPending.erase(it);
        found = true;
        break;
      }
    }
    if (!found) {
      KTX_LOG(KTX_DBG5, "KTX_StateMachineGUI: Pending object not found in list: 0x%X", AddressText(p_poChild));
    }
  }
  if (!found) {
    return KTX_RC_INVALID_CALL;
  }
  // May destroy the child: this was the last holder once everybody else let go.
  p_poChild->DecReferenceCount();
  return KTX_RC_OK;
}

int32_t KTX_StateMachineGUI::GetPendingCount() {
  OsalThreadMutexGuard guard(c_oPendingLock);
  return static_cast<int32_t>(c_vpoPending.size());
}
