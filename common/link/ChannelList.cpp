#include "link/ChannelList.h"

#include "link/Channel.h"
#include "link/ChannelOffline.h"
#include "link/ChannelRs485.h"
#include "link/ChannelUdp.h"
#include "link/DeviceAddress.h"
#include "runtime/ReturnCode.h"

#include <new>

KTX_ChannelList::KTX_ChannelList() { c_vpoChannels.reserve(4); }

KTX_ChannelList::~KTX_ChannelList() {
  for (KTX_Channel *channel : c_vpoChannels) {
    channel->Delete();
  }
}

int32_t KTX_ChannelList::GetChannel(const KTX_DeviceAddress &p_roAddress, KTX_Channel *&p_rpoChannel) {
  p_rpoChannel = nullptr;
  for (KTX_Channel *channel : c_vpoChannels) {
    if (channel->GetAddress()->GetKind() == p_roAddress.GetKind()) {
      p_rpoChannel = channel;
      return KTX_RC_OK;
    }
  }
  KTX_DeviceAddress *copy = new (std::nothrow) KTX_DeviceAddress();
  if (copy == nullptr) {
    return KTX_RC_MALLOC_FAILED;
  }
  copy->CopyFrom(p_roAddress);
  KTX_Channel *channel = nullptr;
  switch (p_roAddress.GetKind()) {
  case KTX_ADDRESS_OFFLINE:
    channel = new (std::nothrow) KTX_ChannelOffline(copy);
    break;
  case KTX_ADDRESS_ETHERNET:
    channel = new (std::nothrow) KTX_ChannelUdp(copy);
    break;
  case KTX_ADDRESS_SERIAL:
    channel = new (std::nothrow) KTX_ChannelRs485(copy);
    break;
  default:
    copy->Delete();
    return KTX_RC_INVALID_PARAMETER;
  }
  // The channel took its own reference to the address.
  copy->Delete();
  if (channel == nullptr) {
    return KTX_RC_MALLOC_FAILED;
  }
  if (c_vpoChannels.size() == c_vpoChannels.capacity()) {
    c_vpoChannels.reserve(c_vpoChannels.size() + 4);
  }
  c_vpoChannels.push_back(channel);
  p_rpoChannel = channel;
  return KTX_RC_OK;
}
