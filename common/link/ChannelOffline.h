#pragma once
// The channel of simulated sensors: it never opens anything and sends nothing.

#include "link/Channel.h"

class KTX_ChannelOffline : public KTX_Channel {
public:
  explicit KTX_ChannelOffline(KTX_DeviceAddress *p_poAddress) : KTX_Channel(p_poAddress) {}
  int32_t Open() override { return 0; }
  int32_t Submit(KTX_StateMachine *p_poMachine) override;
  int32_t CreateProtocol(KTX_Protocol *&p_rpoProtocol) override;
  int32_t CreateTransport(KTX_Transport *&p_rpoTransport) override;
};
