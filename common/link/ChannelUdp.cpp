#include "link/ChannelUdp.h"

#include "link/ProtocolSupervisorMaster.h"
#include "link/TransportUdp.h"
#include "runtime/ReturnCode.h"

#include <new>

int32_t KTX_ChannelUdp::CreateProtocol(KTX_Protocol *&p_rpoProtocol) {
  p_rpoProtocol = new (std::nothrow) KTX_ProtocolSupervisorMaster();
  return p_rpoProtocol != nullptr ? KTX_RC_OK : KTX_RC_MALLOC_FAILED;
}

int32_t KTX_ChannelUdp::CreateTransport(KTX_Transport *&p_rpoTransport) {
  p_rpoTransport = new (std::nothrow) KTX_TransportUdp();
  return p_rpoTransport != nullptr ? KTX_RC_OK : KTX_RC_MALLOC_FAILED;
}
