#pragma once
// The machine at the top of a page's tree. It turns each notification of its
// children into a window message posted to the page, and keeps every posted
// child alive (a counted reference in the pending list) until the page's
// handler has run and handed it back with RemovePendingObject. This is the only
// place where an event crosses from a worker thread to the page's thread.

#include "operations/StateMachine.h"
#include "operations/WindowPoster.h"

#include <cstdint>
#include <vector>

class KTX_StateMachineGUI : public KTX_StateMachine {
public:
  static constexpr int32_t c_i32MessageMapSize = 77;
  // A free entry of the message map holds this class type and message 0.
  static constexpr int32_t c_i32FreeEntryClassType = 77;

  explicit KTX_StateMachineGUI(KTX_WindowPoster *p_poWindow);
  ~KTX_StateMachineGUI() override;

  void NotifyParentOfEvent() override;
  void ChildNotificationOfEvent(KTX_StateMachine *p_poChild) override;
  // Whether a child of a class without a finished state of its own stays attached.
  virtual bool KeepChild(KTX_StateMachine *p_poChild);

  // Notifications of children of p_i32ClassType are posted as p_u32Message.
  // Nothing happens when all entries are used.
  void SetMessage(int32_t p_i32ClassType, uint32_t p_u32Message);
  // Called by the window's handler for every posted notification.
  int32_t RemovePendingObject(KTX_StateMachine *p_poChild);
  // Replaces the window; nullptr detaches it. On return no post to the old
  // window is in progress, so its owner may destroy it.
  void SetWindow(KTX_WindowPoster *p_poWindow);
  int32_t GetPendingCount();

  // The message parameter: state in the high 16 bits, result in the low 16.
  static uint32_t MakeNotificationParam(int32_t p_i32State, int32_t p_i32Result);
  static int32_t GetParamState(uint32_t p_u32Param) { return static_cast<int32_t>(p_u32Param >> 16); }
  static int32_t GetParamResult(uint32_t p_u32Param) { return static_cast<int32_t>(p_u32Param & 0xFFFFu); }

  // True when a child in p_i32State has ended from this machine's point of view
  // and is detached after its notification.
  bool IsChildDone(KTX_StateMachine *p_poChild, int32_t p_i32State);

private:
  struct MessageMapEntry {
    int32_t i32ClassType;
    uint32_t u32Message;
  };

  KTX_WindowPoster *c_poWindow;
  MessageMapEntry c_aoMessageMap[c_i32MessageMapSize];
  OsalThreadMutex c_oPendingLock;
  std::vector<KTX_StateMachine *> c_vpoPending;
};
