#pragma once
// One stereo correspondence: the same spot on the ground seen by the left and
// by the right camera. The left position carries eight fraction bits (1/256
// pixel) because the calibration refines it to sub-pixel precision against the
// right position, which is in whole pixels. y counts rows of one camera image.

#include <cstdint>

struct KTX_CalibrationPoint {
  int32_t i32LeftX;  // 1/256 pixel
  int32_t i32LeftY;  // 1/256 pixel
  int32_t i32RightX; // pixels
  int32_t i32RightY; // pixels

  bool operator==(const KTX_CalibrationPoint &p_roOther) const = default;
};
