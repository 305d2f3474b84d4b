#pragma once
// The wizard's channels, at most one per kind of link; owned by the wizard model.

#include <cstdint>
#include <vector>

class KTX_Channel;
class KTX_DeviceAddress;

class KTX_ChannelList {
public:
  KTX_ChannelList();
  ~KTX_ChannelList();
  KTX_ChannelList(const KTX_ChannelList &) = delete;
  KTX_ChannelList &operator=(const KTX_ChannelList &) = delete;

  // The channel for the address's kind, created on first request over a copy of
  // the address. The list keeps it alive; the caller gets no reference.
  int32_t GetChannel(const KTX_DeviceAddress &p_roAddress, KTX_Channel *&p_rpoChannel);
  int32_t GetCount() const { return static_cast<int32_t>(c_vpoChannels.size()); }

private:
  std::vector<KTX_Channel *> c_vpoChannels;
};
