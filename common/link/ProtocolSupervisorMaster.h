#pragma once
// The master side of the supervisor protocol: one request on the wire at a
// time, further requests held back until it is settled, responses matched to
// requests by sequence number, timed-out requests sent again, echoes of our own
// requests and unknown messages thrown away.

#include "link/Protocol.h"

class KTX_ProtocolSupervisorMaster : public KTX_Protocol {
public:
  // A response's deadline is the request's time-out plus this, at most the cap.
  static constexpr int32_t c_i32DeadlineExtraMs = 2000;
  static constexpr int32_t c_i32DeadlineCapMs = 10000;

  KTX_ProtocolSupervisorMaster();

  KTX_MessageSupervisor *NewMessage() override;
  int32_t SendMessage(KTX_Message *p_poMessage) override;
  int32_t Receive(KTX_Message *p_poMessage) override;
};
