#pragma once
// The window side of a page's state machine, kept free of any toolkit: the page
// implements it, the machine posts each notification of a child through it and
// the page hands the child back with KTX_StateMachineGUI::RemovePendingObject
// once it has handled the notification on its own thread.

#include <cstdint>

class KTX_StateMachine;

// The window message that carries a child machine's notification to its page.
constexpr uint32_t KTX_WM_STATE_MACHINE_NOTIFICATION = 1025;

class KTX_WindowPoster {
public:
  virtual ~KTX_WindowPoster() = default;

  // True while the window can still receive messages.
  virtual bool IsWindowAlive() = 0;

  // Queue p_u32Message for the window's own thread, carrying the child and
  // p_u32Param = (state << 16) + (result & 0xFFFF). Returns false when the
  // message could not be queued; it is then never delivered.
  virtual bool PostNotification(uint32_t p_u32Message, KTX_StateMachine *p_poChild, uint32_t p_u32Param) = 0;
};
