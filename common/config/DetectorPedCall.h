#pragma once
// The pedestrian-call detector of the waiting-area sensor: up to three regions,
// and one parameter that is carried to the sensor unchanged.

#include "config/Detector.h"

class KTX_DetectorPedCall : public KTX_Detector {
public:
  static constexpr uint32_t c_u32MaxRegions = 3;

  KTX_DetectorPedCall();
  ~KTX_DetectorPedCall() override;

  uint32_t MaxRegions() const override;
  // The regions, then "TovisParameter".
  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  // Up to the "End" that closes the detector.
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;

  int32_t GetTovisParameter() const { return c_i32TovisParameter; }
  void SetTovisParameter(int32_t p_i32Value) { c_i32TovisParameter = p_i32Value; }

private:
  int32_t c_i32TovisParameter;
};
