#pragma once
// The sensor node: the left and right camera, the calibration, the video
// settings, the detection and four stored snapshots.

#include "config/Config.h"
#include "config/ConfigCalibration.h"
#include "config/ConfigCamera.h"
#include "config/ConfigDetection.h"
#include "config/ConfigSnapshot.h"
#include "config/ConfigVideo.h"

class KTX_ConfigSensor : public KTX_Config {
public:
  static constexpr uint32_t c_u32CameraCount = 2;
  static constexpr uint32_t c_u32SnapshotCount = 4;

  KTX_ConfigSensor();
  ~KTX_ConfigSensor() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  // A nested "Begin" naming a camera or snapshot that does not exist is refused
  // with KTX_RC_BUFFER_GENERIC_ERROR before any node is touched.
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;
  int32_t Finalize() override;

  // Camera 0 (left) or 1 (right); none otherwise.
  KTX_ConfigCamera *GetCamera(uint32_t p_u32Index);
  KTX_ConfigCalibration &GetCalibration() { return c_oCalibration; }
  const KTX_ConfigCalibration &GetCalibration() const { return c_oCalibration; }
  KTX_ConfigVideo &GetVideo() { return c_oVideo; }
  const KTX_ConfigVideo &GetVideo() const { return c_oVideo; }
  KTX_ConfigDetection &GetDetection() { return c_oDetection; }
  const KTX_ConfigDetection &GetDetection() const { return c_oDetection; }
  // Snapshot 0 to 3; none otherwise.
  KTX_ConfigSnapshot *GetSnapshot(uint32_t p_u32Index);
  const KTX_ConfigSnapshot *GetSnapshot(uint32_t p_u32Index) const;

private:
  KTX_ConfigCamera c_aoCamera[c_u32CameraCount];
  KTX_ConfigCalibration c_oCalibration;
  KTX_ConfigVideo c_oVideo;
  KTX_ConfigDetection c_oDetection;
  KTX_ConfigSnapshot c_aoSnapshot[c_u32SnapshotCount];
};
