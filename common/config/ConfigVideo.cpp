#include "config/ConfigVideo.h"

#include "buffers/BufferToken.h"
#include "runtime/ReturnCode.h"

KTX_ConfigVideo::KTX_ConfigVideo()
    : c_u16VideoStandard(KTX_VIDEO_STANDARD_NTSC), c_u16VideoResolution(KTX_VIDEO_RESOLUTION_D1) {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_VIDEO;
}

KTX_ConfigVideo::~KTX_ConfigVideo() = default;

int32_t KTX_ConfigVideo::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  WriteBegin(p_poBuffer, p_poToken, 0);
  p_poToken->SetUint16(KTX_BTID_VIDEO_STANDARD, c_u16VideoStandard).WriteToken(p_poBuffer);
  p_poToken->SetUint16(KTX_BTID_VIDEO_RESOLUTION, c_u16VideoResolution).WriteToken(p_poBuffer);
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigVideo::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    switch (p_u32Id) {
    case KTX_BTID_VIDEO_STANDARD:
      return p_poToken->GetUint16(nullptr, &c_u16VideoStandard);
    case KTX_BTID_VIDEO_RESOLUTION:
      return p_poToken->GetUint16(nullptr, &c_u16VideoResolution);
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
  });
}
