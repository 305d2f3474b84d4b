// Whole configuration token files, binary or text (the header decides), read
// into a new tree. Whatever tree a file yields must write out and read back to
// the same bytes in both encodings.

#include "buffers/BufferHeap.h"
#include "buffers/BufferToken.h"
#include "config/Config.h"
#include "config/ConfigCom.h"
#include "config/ConfigDevice.h"
#include "config/ConfigSensor.h"
#include "config/ConfigSnapshot.h"
#include "runtime/DateTime.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/Version.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

template <class T> struct Local : T {
  Local() { this->SetStackVariable(); }
};

Bytes Write(KTX_Config &p_roConfig, uint32_t p_u32Encoding) {
  Local<KTX_BufferHeap> oHeap;
  Local<KTX_BufferToken> oToken;
  oToken.SetWriteEncoding(p_u32Encoding);
  const KTX_Version oVersion(1, 9, 0, "b", KTX_DateTime(2017, 8, 10, 21, 9, 14));
  if (WriteTokenFile(&oToken, &oHeap, oVersion, KTX_DateTime(2024, 1, 2, 3, 4, 5), &p_roConfig) != KTX_RC_OK) {
    std::abort();
  }
  const uint8_t *p = oHeap.GetData();
  return p == nullptr ? Bytes{} : Bytes(p, p + oHeap.GetSize());
}

int32_t Read(const uint8_t *p_pu8Data, size_t p_uSize, std::unique_ptr<KTX_Config> &p_roConfig) {
  Local<KTX_BufferHeap> oHeap;
  if (p_uSize > 0) {
    uint32_t u32Count = static_cast<uint32_t>(p_uSize);
    oHeap.Write(p_pu8Data, &u32Count);
  }
  Local<KTX_BufferToken> oToken;
  KTX_Config *poConfig = nullptr;
  const int32_t i32Result = ReadTokenFile(&oToken, &oHeap, nullptr, &poConfig);
  p_roConfig.reset(poConfig);
  return i32Result;
}

// A text line cannot hold a line break, so 8-bit network texts that carry one
// (only a binary file can bring them) have no text form.
bool HasTextForm(KTX_Config &p_roConfig) {
  const KTX_ConfigCom *poCom = nullptr;
  if (p_roConfig.GetConfigType() == KTX_CONFIG_TYPE_DEVICE) {
    poCom = &static_cast<KTX_ConfigDevice &>(p_roConfig).GetCommunications();
  } else if (p_roConfig.GetConfigType() == KTX_CONFIG_TYPE_COMMUNICATIONS) {
    poCom = &static_cast<KTX_ConfigCom &>(p_roConfig);
  }
  if (poCom == nullptr) {
    return true;
  }
  for (const KTX_StringAscii *po : {&poCom->GetHostName(), &poCom->GetIpAddress(), &poCom->GetNetworkMask(),
                                    &poCom->GetGateway(), &poCom->GetDomainName(), &poCom->GetDnsServer()}) {
    if (std::strpbrk(po->GetText(), "\r\n") != nullptr) {
      return false;
    }
  }
  return true;
}

void CheckRoundTrip(KTX_Config &p_roConfig, uint32_t p_u32Encoding) {
  const Bytes oFirst = Write(p_roConfig, p_u32Encoding);
  std::unique_ptr<KTX_Config> poAgain;
  if (Read(oFirst.data(), oFirst.size(), poAgain) != KTX_RC_OK || Write(*poAgain, p_u32Encoding) != oFirst) {
    std::abort();
  }
}

// Image bytes of the tree. The round trip goes through heap buffers, whose
// window holds a few megabytes: more than a megabyte of images has no room
// there in the text form.
uint64_t ImageBytes(KTX_Config &p_roConfig) {
  const KTX_ConfigSensor *poSensor = nullptr;
  if (p_roConfig.GetConfigType() == KTX_CONFIG_TYPE_DEVICE) {
    poSensor = &static_cast<KTX_ConfigDevice &>(p_roConfig).GetSensor();
  } else if (p_roConfig.GetConfigType() == KTX_CONFIG_TYPE_SENSOR) {
    poSensor = &static_cast<KTX_ConfigSensor &>(p_roConfig);
  } else if (p_roConfig.GetConfigType() == KTX_CONFIG_TYPE_SNAPSHOT) {
    return static_cast<KTX_ConfigSnapshot &>(p_roConfig).GetSize();
  }
  uint64_t u64Total = 0;
  for (uint32_t i = 0; poSensor != nullptr && i < KTX_ConfigSensor::c_u32SnapshotCount; ++i) {
    u64Total += poSensor->GetSnapshot(i)->GetSize();
  }
  return u64Total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool once = [] {
    SetLogFileName("/dev/null");
    return true;
  }();
  (void)once;
  std::unique_ptr<KTX_Config> poConfig;
  if (Read(data, size, poConfig) != KTX_RC_OK) {
    return 0;
  }
  if (poConfig->Finalize() != KTX_RC_OK) {
    std::abort();
  }
  if (ImageBytes(*poConfig) > 1024 * 1024) {
    return 0;
  }
  CheckRoundTrip(*poConfig, KTX_BufferToken::c_u32EncodingBinary);
  if (HasTextForm(*poConfig)) {
    CheckRoundTrip(*poConfig, KTX_BufferToken::c_u32EncodingText);
  }
  return 0;
}
