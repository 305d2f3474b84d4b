#pragma once
// Camera snapshots of the emulated sensor: one stacked stereo frame, the left
// camera's picture above the right camera's, encoded as JPEG.
//
// The pictures are rendered from a small synthetic crossing (a textured road
// with zebra stripes, a kerb, two pedestrians and a signal pole) seen by two
// cameras mounted side by side on a pole, so that the two halves differ by the
// real disparity of each point: near things shift more between the halves than
// far ones. The pedestrians walk a little from frame to frame.

#include <cstdint>
#include <vector>

class KTX_SimSnapshot {
public:
  // Distance between the two cameras (m), their height above the road (m),
  // their downward tilt (degrees) and the focal length in units of the image width.
  static constexpr double c_f64Baseline = 0.25;
  static constexpr double c_f64Height = 5.0;
  static constexpr double c_f64TiltDegrees = 30.0;
  static constexpr double c_f64FocalPerWidth = 0.9;

  // Renders one camera's picture, p_i32Camera 0 left, 1 right, as RGB rows top first.
  static void RenderCamera(int32_t p_i32Camera, int32_t p_i32Width, int32_t p_i32Height, uint32_t p_u32Frame,
                           uint8_t *p_pu8Rgb);

  // The stacked frame (p_i32Width × 2·p_i32Height) as JPEG at p_i32Quality
  // (clamped to 1..100). KTX_RC_INVALID_PARAMETER for a size outside 16..2048,
  // KTX_RC_OPERATION_FAILED when the encoder fails.
  static int32_t Encode(int32_t p_i32Width, int32_t p_i32Height, uint32_t p_u32Frame, int32_t p_i32Quality,
                        std::vector<uint8_t> &p_rvu8Jpeg);
};
