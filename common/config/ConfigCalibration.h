#pragma once
// The stereo calibration settings: the point correspondences between the left
// and the right camera image and the index of the seed point, the one the user
// placed by hand in both images.

#include "config/Config.h"
#include "imaging/CalibrationPoint.h"

#include <memory>

class KTX_ConfigCalibration : public KTX_Config {
public:
  static constexpr uint32_t c_u32MaxPoints = 1000;

  KTX_ConfigCalibration();
  ~KTX_ConfigCalibration() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;

  uint32_t GetPointCount() const { return c_u32Count; }
  uint32_t GetCapacity() const { return c_u32Capacity; }
  // Point i; none when i is not below the count.
  KTX_CalibrationPoint *GetPoint(uint32_t p_u32Index);
  const KTX_CalibrationPoint *GetPoint(uint32_t p_u32Index) const;
  // Makes the count p_u32Count (at most c_u32MaxPoints, else
  // KTX_RC_INVALID_PARAMETER and nothing changes). Growing past the capacity
  // allocates exactly p_u32Count points; points that come into being are zero.
  // A seed index that is not below the new count becomes -1.
  int32_t Resize(uint32_t p_u32Count);

  int32_t GetSeedPointIndex() const { return c_i32SeedPointIndex; }
  void SetSeedPointIndex(int32_t p_i32Index) { c_i32SeedPointIndex = p_i32Index; }

private:
  std::unique_ptr<KTX_CalibrationPoint[]> c_poPoints;
  uint32_t c_u32Count;
  uint32_t c_u32Capacity;
  int32_t c_i32SeedPointIndex;
};
