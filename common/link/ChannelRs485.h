#pragma once
// The channel of the RS-485 serial line link: a supervisor master over a TransportRs485.

#include "link/Channel.h"

class KTX_ChannelRs485 : public KTX_Channel {
public:
  explicit KTX_ChannelRs485(KTX_DeviceAddress *p_poAddress) : KTX_Channel(p_poAddress) {}
  int32_t CreateProtocol(KTX_Protocol *&p_rpoProtocol) override;
  int32_t CreateTransport(KTX_Transport *&p_rpoTransport) override;
};
