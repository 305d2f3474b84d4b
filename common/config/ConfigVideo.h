#pragma once
// The video input settings: the camera's video standard and the resolution of
// the pictures the sensor works on.

#include "config/Config.h"

enum KTX_VideoStandard : uint16_t {
  KTX_VIDEO_STANDARD_UNKNOWN = 0,
  KTX_VIDEO_STANDARD_NTSC = 1,
  KTX_VIDEO_STANDARD_PAL = 2,
};

enum KTX_VideoResolution : uint16_t {
  KTX_VIDEO_RESOLUTION_UNKNOWN = 0,
  KTX_VIDEO_RESOLUTION_D1 = 1,
  KTX_VIDEO_RESOLUTION_CIF = 2,
  KTX_VIDEO_RESOLUTION_VGA = 3,
  KTX_VIDEO_RESOLUTION_QCIF = 4,
};

class KTX_ConfigVideo : public KTX_Config {
public:
  KTX_ConfigVideo();
  ~KTX_ConfigVideo() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;

  uint16_t GetVideoStandard() const { return c_u16VideoStandard; }
  void SetVideoStandard(uint16_t p_u16Standard) { c_u16VideoStandard = p_u16Standard; }
  uint16_t GetVideoResolution() const { return c_u16VideoResolution; }
  void SetVideoResolution(uint16_t p_u16Resolution) { c_u16VideoResolution = p_u16Resolution; }

private:
  uint16_t c_u16VideoStandard;
  uint16_t c_u16VideoResolution;
};
