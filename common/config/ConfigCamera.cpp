#include "config/ConfigCamera.h"

#include "buffers/BufferToken.h"
#include "runtime/ReturnCode.h"

KTX_ConfigCamera::KTX_ConfigCamera(int32_t p_i32Index) : c_i32Index(p_i32Index) {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_CAMERA;
}

KTX_ConfigCamera::~KTX_ConfigCamera() = default;

int32_t KTX_ConfigCamera::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  WriteBegin(p_poBuffer, p_poToken, static_cast<uint32_t>(c_i32Index));
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigCamera::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [](uint32_t) -> int32_t { return KTX_RC_BUFFER_GENERIC_ERROR; });
}
