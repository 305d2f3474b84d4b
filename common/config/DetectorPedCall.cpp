#include "config/DetectorPedCall.h"

#include "buffers/BufferToken.h"
#include "config/Config.h"
#include "config/ConfigDetection.h"
#include "runtime/ReturnCode.h"

KTX_DetectorPedCall::KTX_DetectorPedCall() : KTX_Detector(KTX_DETECTOR_PED_CALL), c_i32TovisParameter(0) {}

KTX_DetectorPedCall::~KTX_DetectorPedCall() = default;

uint32_t KTX_DetectorPedCall::MaxRegions() const { return c_u32MaxRegions; }

int32_t KTX_DetectorPedCall::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  const int32_t i32Result = KTX_Detector::WriteConfig(p_poBuffer, p_poToken);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  return p_poToken->SetUint32(KTX_BTID_TOVIS_PARAMETER, static_cast<uint32_t>(c_i32TovisParameter))
      .WriteToken(p_poBuffer);
}

int32_t KTX_DetectorPedCall::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    if (p_u32Id == KTX_BTID_DETECTOR_BASE) {
      return KTX_Detector::ReadConfig(p_poSource, p_poToken);
    }
    if (p_u32Id != KTX_BTID_TOVIS_PARAMETER) {
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    uint32_t u32Value = 0;
    const int32_t i32Result = p_poToken->GetUint32(&u32Value);
    if (i32Result == KTX_RC_OK) {
      c_i32TovisParameter = static_cast<int32_t>(u32Value);
    }
    return i32Result;
  });
}
