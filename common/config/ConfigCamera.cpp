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
  if (p_poSource == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const int32_t i32Result = p_poToken->ReadToken(p_poSource);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  uint32_t u32Id = 0;
  p_poToken->GetId(&u32Id);
  return u32Id == KTX_BTID_END ? KTX_RC_OK : KTX_RC_BUFFER_GENERIC_ERROR;
}
