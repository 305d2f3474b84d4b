#include "link/ChannelOffline.h"

#include "runtime/ReturnCode.h"

int32_t KTX_ChannelOffline::Submit(KTX_StateMachine *) { return KTX_RC_OPERATION_NOT_PERMITTED; }

int32_t KTX_ChannelOffline::CreateProtocol(KTX_Protocol *&p_rpoProtocol) {
  p_rpoProtocol = nullptr;
  return KTX_RC_OPERATION_NOT_PERMITTED;
}

int32_t KTX_ChannelOffline::CreateTransport(KTX_Transport *&p_rpoTransport) {
  p_rpoTransport = nullptr;
  return KTX_RC_OPERATION_NOT_PERMITTED;
}
