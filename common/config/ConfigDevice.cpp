#include "config/ConfigDevice.h"

#include "buffers/BufferToken.h"
#include "runtime/ReturnCode.h"

KTX_ConfigDevice::KTX_ConfigDevice() {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_DEVICE;
  for (KTX_StringUnicode &roDescription : c_aoDescription) {
    roDescription.SetStackVariable();
  }
  c_oNotes.SetStackVariable();
}

KTX_ConfigDevice::~KTX_ConfigDevice() = default;

KTX_StringUnicode *KTX_ConfigDevice::GetDescription(uint32_t p_u32Index) {
  return p_u32Index < c_u32DescriptionCount ? &c_aoDescription[p_u32Index] : nullptr;
}

const KTX_StringUnicode *KTX_ConfigDevice::GetDescription(uint32_t p_u32Index) const {
  return p_u32Index < c_u32DescriptionCount ? &c_aoDescription[p_u32Index] : nullptr;
}

int32_t KTX_ConfigDevice::Finalize() {
  int32_t i32Result = c_oCom.Finalize();
  if (i32Result == KTX_RC_OK) {
    i32Result = c_oSensor.Finalize();
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = FinalizeSelf();
  }
  return i32Result;
}

int32_t KTX_ConfigDevice::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Level = p_poToken->GetIndent();
  int32_t i32Result = WriteBegin(p_poBuffer, p_poToken, 0);
  for (uint32_t i = 0; i < c_u32DescriptionCount && i32Result == KTX_RC_OK; ++i) {
    i32Result = p_poToken->SetStringUnicode(KTX_BTID_DESCRIPTION, &c_aoDescription[i]).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poToken->SetStringUnicode(KTX_BTID_NOTES, &c_oNotes).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = c_oCom.WriteConfig(p_poBuffer, p_poToken);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = c_oSensor.WriteConfig(p_poBuffer, p_poToken);
  }
  if (i32Result != KTX_RC_OK) {
    p_poToken->SetIndent(u32Level);
    return i32Result;
  }
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigDevice::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  uint32_t u32Descriptions = 0;
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    switch (p_u32Id) {
    case KTX_BTID_DESCRIPTION:
      if (u32Descriptions >= c_u32DescriptionCount) {
        return KTX_RC_BUFFER_GENERIC_ERROR;
      }
      return p_poToken->GetStringUnicode(&c_aoDescription[u32Descriptions++]);
    case KTX_BTID_NOTES:
      return p_poToken->GetStringUnicode(&c_oNotes);
    case KTX_BTID_BEGIN: {
      uint32_t u32Type = 0;
      uint32_t u32Index = 0;
      const int32_t i32Result = p_poToken->GetIdValue(nullptr, &u32Type, &u32Index);
      if (i32Result != KTX_RC_OK) {
        return i32Result;
      }
      if (u32Type == KTX_CONFIG_TYPE_COMMUNICATIONS) {
        return c_oCom.ReadConfig(p_poSource, p_poToken);
      }
      if (u32Type == KTX_CONFIG_TYPE_SENSOR && u32Index == 0) {
        return c_oSensor.ReadConfig(p_poSource, p_poToken);
      }
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
  });
}
