#include "config/ConfigDetection.h"

#include "buffers/BufferToken.h"
#include "config/Detector.h"
#include "config/DetectorPedCall.h"
#include "config/DetectorPedExtend.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <new>

namespace {
constexpr const char *k_szSource = "ConfigDetection";
} // namespace

KTX_ConfigDetection::KTX_ConfigDetection()
    : c_apoDetectors{}, c_u32DetectorCount(0), c_u32Delay(0), c_u32Extend(0), c_i32InitialStateOff(0),
      c_i32FailsafeMode(1), c_i32OnState(1), c_i32Sensitivity(c_i32MinSensitivity),
      c_i32TriggerMode(KTX_TRIGGER_MODE_NORMAL), c_u32MinOnTime(0), c_u32MaxOnTime(0) {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_DETECTION;
}

KTX_ConfigDetection::~KTX_ConfigDetection() { DestroyDetectors(); }

void KTX_ConfigDetection::DestroyDetectors() {
  for (uint32_t i = 0; i < c_u32DetectorCount; ++i) {
    c_apoDetectors[i]->SetOwner(nullptr);
    delete c_apoDetectors[i];
    c_apoDetectors[i] = nullptr;
  }
  c_u32DetectorCount = 0;
}

void KTX_ConfigDetection::SetSensitivity(int32_t p_i32Sensitivity) {
  c_i32Sensitivity = p_i32Sensitivity < c_i32MinSensitivity   ? c_i32MinSensitivity
                     : p_i32Sensitivity > c_i32MaxSensitivity ? c_i32MaxSensitivity
                                                              : p_i32Sensitivity;
}

int32_t KTX_ConfigDetection::CreateDetector(int32_t p_i32Type, KTX_Detector **p_ppoDetector) {
  if (c_u32DetectorCount >= c_u32MaxDetectors) {
    return KTX_RC_INTERNAL_OVERFLOW;
  }
  KTX_Detector *poDetector = nullptr;
  switch (p_i32Type) {
  case KTX_DETECTOR_PED_CALL:
    poDetector = new (std::nothrow) KTX_DetectorPedCall();
    break;
  case KTX_DETECTOR_PED_EXTEND:
    poDetector = new (std::nothrow) KTX_DetectorPedExtend();
    break;
  case KTX_DETECTOR_VEHICLE_CALL:
    // This system has no vehicle-call detector.
    return KTX_RC_MALLOC_FAILED;
  default:
    KTX_LOG_AT(k_szSource, KTX_ERROR, "KTX_ConfigDetection::CreateDetector: invalid detector type");
    return KTX_RC_INVALID_PARAMETER;
  }
  if (poDetector == nullptr) {
    return KTX_RC_MALLOC_FAILED;
  }
  poDetector->SetOwner(this);
  c_apoDetectors[c_u32DetectorCount++] = poDetector;
  if (p_ppoDetector != nullptr) {
    *p_ppoDetector = poDetector;
  }
  return KTX_RC_OK;
}

KTX_Detector *KTX_ConfigDetection::GetDetector(uint32_t p_u32Index) const {
  if (p_u32Index >= c_u32MaxDetectors) {
    KTX_LOG_AT(k_szSource, KTX_ASSERT, "KTX_ConfigDetection::GetDetector: Invalid detector index");
    return nullptr;
  }
  return c_apoDetectors[p_u32Index];
}

int32_t KTX_ConfigDetection::RemoveDetector(KTX_Detector **p_ppoDetector) {
  if (p_ppoDetector == nullptr || *p_ppoDetector == nullptr) {
    return KTX_RC_UNEXPECTED_NULL_POINTER;
  }
  if (c_u32DetectorCount == 0) {
    return KTX_RC_OK;
  }
  uint32_t u32Index = 0;
  while (u32Index < c_u32DetectorCount && c_apoDetectors[u32Index] != *p_ppoDetector) {
    ++u32Index;
  }
  if (u32Index == c_u32DetectorCount) {
    return KTX_RC_ITEM_NOT_FOUND;
  }
  KTX_Detector *poDetector = c_apoDetectors[u32Index];
  for (uint32_t i = u32Index; i + 1 < c_u32DetectorCount; ++i) {
    c_apoDetectors[i] = c_apoDetectors[i + 1];
  }
  --c_u32DetectorCount;
  c_apoDetectors[c_u32DetectorCount] = nullptr;
  poDetector->SetOwner(nullptr);
  delete poDetector;
  *p_ppoDetector = nullptr;
  return KTX_RC_OK;
}

int32_t KTX_ConfigDetection::Finalize() {
  for (uint32_t i = 0; i < c_u32DetectorCount; ++i) {
    const int32_t i32Result = c_apoDetectors[i]->Finalize();
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
  }
  return FinalizeSelf();
}

int32_t KTX_ConfigDetection::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Level = p_poToken->GetIndent();
  int32_t i32Result = WriteBegin(p_poBuffer, p_poToken, 0);
  const struct {
    uint32_t u32Id;
    uint32_t u32Value;
  } aoSettings[] = {
      {KTX_BTID_TURN_ON_DELAY_CALL_THRESH_MS, c_u32Delay},
      {KTX_BTID_TURN_ON_EXTEND_CALL_THRESH_MS, c_u32Extend},
      {KTX_BTID_TRIGGER_MODE, static_cast<uint32_t>(c_i32TriggerMode)},
      {KTX_BTID_TRIGGER_MIN_ON_TIME, c_u32MinOnTime},
      {KTX_BTID_TRIGGER_MAX_ON_TIME, c_u32MaxOnTime},
      {KTX_BTID_IO_INITIAL_STATE_OFF, static_cast<uint32_t>(c_i32InitialStateOff)},
      {KTX_BTID_IO_FAILSAFE_MODE, static_cast<uint32_t>(c_i32FailsafeMode)},
      {KTX_BTID_IO_ON_STATE, static_cast<uint32_t>(c_i32OnState)},
      {KTX_BTID_DET_SENSITIVITY, static_cast<uint32_t>(c_i32Sensitivity)},
  };
  for (const auto &roSetting : aoSettings) {
    if (i32Result != KTX_RC_OK) {
      break;
    }
    i32Result = p_poToken->SetUint32(roSetting.u32Id, roSetting.u32Value).WriteToken(p_poBuffer);
  }
  for (uint32_t i = 0; i < c_u32DetectorCount && i32Result == KTX_RC_OK; ++i) {
    KTX_Detector *poDetector = c_apoDetectors[i];
    uint32_t u32Id = 0;
    switch (poDetector->GetType()) {
    case KTX_DETECTOR_PED_CALL:
      u32Id = KTX_BTID_DETECTOR_PED_CALL;
      break;
    case KTX_DETECTOR_PED_EXTEND:
      u32Id = KTX_BTID_DETECTOR_PED_EXTEND;
      break;
    case KTX_DETECTOR_VEHICLE_CALL:
      u32Id = KTX_BTID_DETECTOR_VEHICLE_CALL;
      break;
    default:
      i32Result = KTX_RC_INTERNAL_ERROR;
      break;
    }
    if (i32Result != KTX_RC_OK) {
      break;
    }
    i32Result = p_poToken->SetUint16(u32Id, static_cast<uint16_t>(i)).WriteToken(p_poBuffer);
    if (i32Result != KTX_RC_OK) {
      break;
    }
    p_poToken->SetIndent(u32Level + 2);
    i32Result = poDetector->WriteConfig(p_poBuffer, p_poToken);
    p_poToken->SetIndent(u32Level + 1);
    if (i32Result == KTX_RC_OK) {
      i32Result = p_poToken->SetEmpty(KTX_BTID_END).WriteToken(p_poBuffer);
    }
  }
  if (i32Result != KTX_RC_OK) {
    p_poToken->SetIndent(u32Level);
    return i32Result;
  }
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigDetection::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  if (p_poSource == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  DestroyDetectors();
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    int32_t *pi32Setting = nullptr;
    uint32_t *pu32Setting = nullptr;
    switch (p_u32Id) {
    case KTX_BTID_DETECTOR_PED_CALL:
    case KTX_BTID_DETECTOR_PED_EXTEND:
    case KTX_BTID_DETECTOR_VEHICLE_CALL: {
      const int32_t i32Type = p_u32Id == KTX_BTID_DETECTOR_PED_CALL     ? KTX_DETECTOR_PED_CALL
                              : p_u32Id == KTX_BTID_DETECTOR_PED_EXTEND ? KTX_DETECTOR_PED_EXTEND
                                                                        : KTX_DETECTOR_VEHICLE_CALL;
      KTX_Detector *poDetector = nullptr;
      const int32_t i32Result = CreateDetector(i32Type, &poDetector);
      return i32Result == KTX_RC_OK ? poDetector->ReadConfig(p_poSource, p_poToken) : i32Result;
    }
    case KTX_BTID_TURN_ON_DELAY_CALL_THRESH_MS:
      pu32Setting = &c_u32Delay;
      break;
    case KTX_BTID_TURN_ON_EXTEND_CALL_THRESH_MS:
      pu32Setting = &c_u32Extend;
      break;
    case KTX_BTID_TRIGGER_MIN_ON_TIME:
      pu32Setting = &c_u32MinOnTime;
      break;
    case KTX_BTID_TRIGGER_MAX_ON_TIME:
      pu32Setting = &c_u32MaxOnTime;
      break;
    // Signed settings are stored as read, the sensitivity included.
    case KTX_BTID_IO_INITIAL_STATE_OFF:
      pi32Setting = &c_i32InitialStateOff;
      break;
    case KTX_BTID_IO_FAILSAFE_MODE:
      pi32Setting = &c_i32FailsafeMode;
      break;
    case KTX_BTID_IO_ON_STATE:
      pi32Setting = &c_i32OnState;
      break;
    case KTX_BTID_DET_SENSITIVITY:
      pi32Setting = &c_i32Sensitivity;
      break;
    case KTX_BTID_TRIGGER_MODE:
      pi32Setting = &c_i32TriggerMode;
      break;
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    if (pu32Setting != nullptr) {
      return p_poToken->GetUint32(pu32Setting);
    }
    uint32_t u32Value = 0;
    const int32_t i32Result = p_poToken->GetUint32(&u32Value);
    if (i32Result == KTX_RC_OK) {
      *pi32Setting = static_cast<int32_t>(u32Value);
    }
    return i32Result;
  });
}
