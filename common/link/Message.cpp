#include "link/Message.h"

KTX_Message::KTX_Message(int32_t p_i32ClassType)
    : KTX_StateMachine(p_i32ClassType), c_i32TimeOut(0), c_u32Deadline(0), c_i32ExpectedResponses(1), c_i32SendDelay(0),
      c_u32SendTime(0), c_i32Sequence(0), c_i32Retries(c_i32DefaultRetries) {
  c_oDestination.SetStackVariable();
  c_oSource.SetStackVariable();
}

KTX_Message::~KTX_Message() = default;
