#pragma once
// The Ethernet transport: one UDP socket on an ephemeral local port, one
// message per datagram, broadcast when the destination asks for it. It talks to
// any number of sensors: each datagram goes to its message's own destination.

#include "link/Transport.h"

class KTX_TransportUdp : public KTX_Transport {
public:
  KTX_TransportUdp();
  ~KTX_TransportUdp() override;

  int32_t Open(KTX_Protocol *p_poProtocol) override;
  int32_t Close() override;
  int32_t SetAddress(const KTX_DeviceAddress &p_roAddress) override;
  int GetReadHandle() override;
  int GetWriteHandle() override { return c_iNoHandle; }
  int GetExceptHandle() override;
  int32_t GetTimeOutMs(uint32_t p_u32Now) override;
  int32_t ReadReady() override;
  int32_t WriteReady() override { return 0; }
  int32_t ExceptReady() override { return 0; }
  int32_t SendMessage(KTX_Message *p_poMessage) override;

  // The local port bound (0 while closed).
  uint16_t GetLocalPort();

private:
  int c_iSocket;
  bool c_bBroadcastEnabled;
};
