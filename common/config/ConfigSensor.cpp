#include "config/ConfigSensor.h"

#include "buffers/BufferToken.h"
#include "runtime/ReturnCode.h"

KTX_ConfigSensor::KTX_ConfigSensor()
    : c_aoCamera{KTX_ConfigCamera(0), KTX_ConfigCamera(1)}, c_aoSnapshot{KTX_ConfigSnapshot(0), KTX_ConfigSnapshot(1),
                                                                         KTX_ConfigSnapshot(2), KTX_ConfigSnapshot(3)} {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_SENSOR;
}

KTX_ConfigSensor::~KTX_ConfigSensor() = default;

KTX_ConfigCamera *KTX_ConfigSensor::GetCamera(uint32_t p_u32Index) {
  return p_u32Index < c_u32CameraCount ? &c_aoCamera[p_u32Index] : nullptr;
}

KTX_ConfigSnapshot *KTX_ConfigSensor::GetSnapshot(uint32_t p_u32Index) {
  return p_u32Index < c_u32SnapshotCount ? &c_aoSnapshot[p_u32Index] : nullptr;
}

const KTX_ConfigSnapshot *KTX_ConfigSensor::GetSnapshot(uint32_t p_u32Index) const {
  return p_u32Index < c_u32SnapshotCount ? &c_aoSnapshot[p_u32Index] : nullptr;
}

int32_t KTX_ConfigSensor::Finalize() {
  KTX_Config *apoChildren[] = {&c_aoCamera[0],   &c_aoCamera[1],   &c_oCalibration,  &c_oVideo,       &c_oDetection,
                               &c_aoSnapshot[0], &c_aoSnapshot[1], &c_aoSnapshot[2], &c_aoSnapshot[3]};
  for (KTX_Config *poChild : apoChildren) {
    const int32_t i32Result = poChild->Finalize();
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
  }
  return FinalizeSelf();
}

int32_t KTX_ConfigSensor::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Level = p_poToken->GetIndent();
  int32_t i32Result = WriteBegin(p_poBuffer, p_poToken, 0);
  KTX_Config *apoChildren[] = {&c_aoCamera[0],   &c_aoCamera[1],   &c_oCalibration,  &c_oVideo,       &c_oDetection,
                               &c_aoSnapshot[0], &c_aoSnapshot[1], &c_aoSnapshot[2], &c_aoSnapshot[3]};
  for (KTX_Config *poChild : apoChildren) {
    if (i32Result != KTX_RC_OK) {
      break;
    }
    i32Result = poChild->WriteConfig(p_poBuffer, p_poToken);
  }
  if (i32Result != KTX_RC_OK) {
    p_poToken->SetIndent(u32Level);
    return i32Result;
  }
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigSensor::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    if (p_u32Id != KTX_BTID_BEGIN) {
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    uint32_t u32Type = 0;
    uint32_t u32Index = 0;
    const int32_t i32Result = p_poToken->GetIdValue(nullptr, &u32Type, &u32Index);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    KTX_Config *poChild = nullptr;
    switch (u32Type) {
    case KTX_CONFIG_TYPE_CAMERA:
      poChild = GetCamera(u32Index);
      break;
    case KTX_CONFIG_TYPE_CALIBRATION:
      poChild = &c_oCalibration;
      break;
    case KTX_CONFIG_TYPE_VIDEO:
      poChild = &c_oVideo;
      break;
    case KTX_CONFIG_TYPE_DETECTION:
      poChild = &c_oDetection;
      break;
    case KTX_CONFIG_TYPE_SNAPSHOT:
      poChild = GetSnapshot(u32Index);
      break;
    default:
      break;
    }
    return poChild != nullptr ? poChild->ReadConfig(p_poSource, p_poToken) : KTX_RC_BUFFER_GENERIC_ERROR;
  });
}
