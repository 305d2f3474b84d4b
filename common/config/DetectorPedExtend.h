#pragma once
// The pedestrian-extend detector of the on-crossing sensor: up to five regions.
// A region on the crossing is entered or left only through its top and bottom
// sides, so the side outputs 1 (right) and 3 (left) cannot be switched on.

#include "config/Detector.h"

class KTX_DetectorPedExtend : public KTX_Detector {
public:
  static constexpr uint32_t c_u32MaxRegions = 5;

  KTX_DetectorPedExtend();
  ~KTX_DetectorPedExtend() override;

  uint32_t MaxRegions() const override;
  // Outputs 1 and 3: KTX_RC_OPERATION_NOT_PERMITTED, nothing changes.
  int32_t ToggleOutput(uint32_t p_u32Region, uint32_t p_u32Output) override;
  // Up to the "End" that closes the detector.
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;
};
