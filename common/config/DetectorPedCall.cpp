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
  if (p_poSource == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  // Each pass consumes one token of the source or ends the read.
  for (;;) {
    int32_t i32Result = p_poToken->ReadToken(p_poSource);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    uint32_t u32Id = 0;
    p_poToken->GetId(&u32Id);
    switch (u32Id) {
    case KTX_BTID_END:
      return KTX_RC_OK;
    case KTX_BTID_DETECTOR_BASE:
      i32Result = KTX_Detector::ReadConfig(p_poSource, p_poToken);
      break;
    case KTX_BTID_TOVIS_PARAMETER: {
      uint32_t u32Value = 0;
      i32Result = p_poToken->GetUint32(&u32Value);
      if (i32Result == KTX_RC_OK) {
        c_i32TovisParameter = static_cast<int32_t>(u32Value);
      }
      break;
    }
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
  }
}
