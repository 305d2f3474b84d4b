#pragma once
// The channel of the Ethernet (UDP) link: a supervisor master over a TransportUdp.

#include "link/Channel.h"

class KTX_ChannelUdp : public KTX_Channel {
public:
  explicit KTX_ChannelUdp(KTX_DeviceAddress *p_poAddress) : KTX_Channel(p_poAddress) {}
  int32_t CreateProtocol(KTX_Protocol *&p_rpoProtocol) override;
  int32_t CreateTransport(KTX_Transport *&p_rpoTransport) override;
};
