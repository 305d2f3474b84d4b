#include "config/DetectorPedExtend.h"

#include "buffers/BufferToken.h"
#include "config/Config.h"
#include "config/ConfigDetection.h"
#include "runtime/ReturnCode.h"

KTX_DetectorPedExtend::KTX_DetectorPedExtend() : KTX_Detector(KTX_DETECTOR_PED_EXTEND) {}

KTX_DetectorPedExtend::~KTX_DetectorPedExtend() = default;

uint32_t KTX_DetectorPedExtend::MaxRegions() const { return c_u32MaxRegions; }

int32_t KTX_DetectorPedExtend::ToggleOutput(uint32_t p_u32Region, uint32_t p_u32Output) {
  if (p_u32Output == KTX_OUTPUT_SIDE_1 || p_u32Output == KTX_OUTPUT_SIDE_3) {
    return KTX_RC_OPERATION_NOT_PERMITTED;
  }
  return KTX_Detector::ToggleOutput(p_u32Region, p_u32Output);
}

int32_t KTX_DetectorPedExtend::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    return p_u32Id == KTX_BTID_DETECTOR_BASE ? KTX_Detector::ReadConfig(p_poSource, p_poToken)
                                             : KTX_RC_BUFFER_GENERIC_ERROR;
  });
}
