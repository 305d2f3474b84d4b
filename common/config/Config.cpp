#include "config/Config.h"

#include "buffers/Buffer.h"
#include "buffers/BufferToken.h"
#include "config/ConfigCalibration.h"
#include "config/ConfigCamera.h"
#include "config/ConfigCom.h"
#include "config/ConfigDetection.h"
#include "config/ConfigDevice.h"
#include "config/ConfigSensor.h"
#include "config/ConfigSnapshot.h"
#include "config/ConfigVideo.h"
#include "runtime/DateTime.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <new>

namespace {

// The keyword rows of the configuration values, in the order the text reader
// and writer search them; the row of id 0 ends the table. Id 44 has no row.
const KTX_BufferTokenKeyword k_aoConfigKeywords[] = {
    {KTX_BTID_DESCRIPTION, KTX_BTT_SZ16, "Description"},
    {KTX_BTID_NOTES, KTX_BTT_SZ16, "Notes"},
    {KTX_BTID_HOST_NAME, KTX_BTT_SZ8, "HostName"},
    {KTX_BTID_IP_ADDRESS, KTX_BTT_SZ8, "IpAddress"},
    {KTX_BTID_NETWORK_MASK, KTX_BTT_SZ8, "NetworkMask"},
    {KTX_BTID_GATEWAY_IP, KTX_BTT_SZ8, "GatewayIp"},
    {KTX_BTID_DOMAIN_NAME, KTX_BTT_SZ8, "DomainName"},
    {KTX_BTID_DNS_SERVER, KTX_BTT_SZ8, "DnsServer"},
    {KTX_BTID_LOCAL_PORT, KTX_BTT_U16, "LocalPort"},
    {KTX_BTID_CALIBRATION_POINT_COUNT, KTX_BTT_U16, "CalPointCount"},
    {KTX_BTID_CALIBRATION_POINT, KTX_BTT_I32, "CalPoint"},
    {KTX_BTID_CALIBRATION_SEED_POINT_INDEX, KTX_BTT_I32, "CalSeedPoint"},
    {KTX_BTID_VIDEO_STANDARD, KTX_BTT_U16, "VideoStandard"},
    {KTX_BTID_VIDEO_RESOLUTION, KTX_BTT_U16, "VideoResolution"},
    {KTX_BTID_DETECTOR_BASE, KTX_BTT_NONE, "DetectorBase"},
    {KTX_BTID_DETECTOR_PED_CALL, KTX_BTT_U16, "DetectorPedCall"},
    {KTX_BTID_DETECTOR_PED_EXTEND, KTX_BTT_U16, "DetectorPedExtend"},
    {KTX_BTID_DETECTOR_VEHICLE_CALL, KTX_BTT_U16, "DetectorVehicleCall"},
    {KTX_BTID_DETECTOR_REGION, KTX_BTT_U16, "DetectorRegion"},
    {KTX_BTID_DETECTOR_REGION_POINTS, KTX_BTT_I32, "DetectorRegionPoints"},
    {KTX_BTID_DETECTOR_REGION_EDGE, KTX_BTT_U16, "DetectorRegionEdge"},
    {KTX_BTID_DETECTOR_REGION_EDGE_PIN, KTX_BTT_U32, "DetectorRegionEdgePin"},
    {KTX_BTID_TURN_ON_DELAY_CALL_THRESH_MS, KTX_BTT_U32, "TurnOnDelayCallThreshMS"},
    {KTX_BTID_TURN_ON_EXTEND_CALL_THRESH_MS, KTX_BTT_U32, "TurnOnExtendCallThreshMS"},
    {KTX_BTID_IO_INITIAL_STATE_OFF, KTX_BTT_I32, "IOInitialStateOff"},
    {KTX_BTID_IO_FAILSAFE_MODE, KTX_BTT_I32, "IOFailsafeMode"},
    {KTX_BTID_IO_ON_STATE, KTX_BTT_I32, "IOOnState"},
    {KTX_BTID_DET_SENSITIVITY, KTX_BTT_I32, "DetSensitivity"},
    {KTX_BTID_TRIGGER_MODE, KTX_BTT_I32, "TriggerMode"},
    {KTX_BTID_TRIGGER_MIN_ON_TIME, KTX_BTT_U32, "TriggerMinOnTime"},
    {KTX_BTID_TRIGGER_MAX_ON_TIME, KTX_BTT_U32, "TriggerMaxOnTime"},
    {KTX_BTID_SNAPSHOT_FORMAT, KTX_BTT_U8, "Format"},
    {KTX_BTID_SNAPSHOT_WIDTH, KTX_BTT_U16, "Width"},
    {KTX_BTID_SNAPSHOT_HEIGHT, KTX_BTT_U16, "Height"},
    {KTX_BTID_SNAPSHOT_SIZE, KTX_BTT_U32, "Size"},
    {KTX_BTID_SNAPSHOT_BITS, KTX_BTT_H8, "Bits"},
    {KTX_BTID_TOVIS_PARAMETER, KTX_BTT_I32, "TovisParameter"},
    {0, KTX_BTT_NONE, "Unknown"},
};

} // namespace

KTX_Config::KTX_Config() : c_u32EnumBufferTokenCfgId(KTX_CONFIG_TYPE_UNKNOWN) { InstallKeywords(); }

KTX_Config::~KTX_Config() {
  if (c_u32EnumBufferTokenCfgId == KTX_CONFIG_TYPE_UNKNOWN) {
    KTX_LOG_AT("Config", KTX_ASSERT,
               "{KTX_Config} c_u32EnumBufferTokenCfgId never set in the Constructor of derived class!");
  }
}

int32_t KTX_Config::Finalize() { return FinalizeSelf(); }

int32_t KTX_Config::FinalizeSelf() { return KTX_RC_OK; }

void KTX_Config::InstallKeywords() { KTX_BufferToken::SetKeywordExtension(k_aoConfigKeywords); }

int32_t KTX_Config::WriteBegin(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken, uint32_t p_u32Index) const {
  const int32_t i32Result =
      p_poToken->SetIdValue(KTX_BTID_BEGIN, c_u32EnumBufferTokenCfgId, p_u32Index).WriteToken(p_poBuffer);
  p_poToken->SetIndent(p_poToken->GetIndent() + 1);
  return i32Result;
}

int32_t KTX_Config::WriteEnd(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  const uint32_t u32Level = p_poToken->GetIndent();
  p_poToken->SetIndent(u32Level > 0 ? u32Level - 1 : 0);
  return p_poToken->SetEmpty(KTX_BTID_END).WriteToken(p_poBuffer);
}

int32_t KTX_Config::CreateConfig(uint32_t p_u32Type, uint32_t p_u32Index, KTX_Config **p_ppoConfig) {
  if (p_ppoConfig == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_Config *poConfig = nullptr;
  switch (p_u32Type) {
  case KTX_CONFIG_TYPE_DEVICE:
    poConfig = new (std::nothrow) KTX_ConfigDevice();
    break;
  case KTX_CONFIG_TYPE_COMMUNICATIONS:
    poConfig = new (std::nothrow) KTX_ConfigCom();
    break;
  case KTX_CONFIG_TYPE_SENSOR:
    poConfig = new (std::nothrow) KTX_ConfigSensor();
    break;
  case KTX_CONFIG_TYPE_CAMERA:
    if (p_u32Index >= KTX_ConfigSensor::c_u32CameraCount) {
      return KTX_RC_INVALID_PARAMETER;
    }
    poConfig = new (std::nothrow) KTX_ConfigCamera(static_cast<int32_t>(p_u32Index));
    break;
  case KTX_CONFIG_TYPE_CALIBRATION:
    poConfig = new (std::nothrow) KTX_ConfigCalibration();
    break;
  case KTX_CONFIG_TYPE_VIDEO:
    poConfig = new (std::nothrow) KTX_ConfigVideo();
    break;
  case KTX_CONFIG_TYPE_DETECTION:
    poConfig = new (std::nothrow) KTX_ConfigDetection();
    break;
  case KTX_CONFIG_TYPE_SNAPSHOT:
    if (p_u32Index >= KTX_ConfigSensor::c_u32SnapshotCount) {
      return KTX_RC_INVALID_PARAMETER;
    }
    poConfig = new (std::nothrow) KTX_ConfigSnapshot(static_cast<int32_t>(p_u32Index));
    break;
  default:
    return KTX_RC_INVALID_PARAMETER;
  }
  if (poConfig == nullptr) {
    return KTX_RC_MALLOC_FAILED;
  }
  *p_ppoConfig = poConfig;
  return KTX_RC_OK;
}

int32_t ReadTokenFile(KTX_BufferToken *p_poToken, KTX_Buffer *p_poBuffer, KTX_DateTime *p_poFileDate,
                      KTX_Config **p_ppoConfig) {
  if (p_poToken == nullptr || p_poBuffer == nullptr || p_ppoConfig == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_Config::InstallKeywords();
  int32_t i32Result = p_poToken->ReadHeader(p_poBuffer);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  // The last header token is the file date.
  if (p_poFileDate != nullptr) {
    p_poToken->GetDate(p_poFileDate);
  }
  i32Result = p_poToken->ReadToken(p_poBuffer);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  uint32_t u32Type = 0;
  uint32_t u32Index = 0;
  i32Result = p_poToken->GetIdValue(nullptr, &u32Type, &u32Index);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  if (*p_ppoConfig == nullptr) {
    i32Result = KTX_Config::CreateConfig(u32Type, u32Index, p_ppoConfig);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
  } else if ((*p_ppoConfig)->GetConfigType() != u32Type) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return (*p_ppoConfig)->ReadConfig(p_poBuffer, p_poToken);
}

int32_t ReadNodeTokens(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken,
                       const std::function<int32_t(uint32_t p_u32Id)> &p_fnToken) {
  if (p_poSource == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  // Each pass consumes at least one token of the source or ends the read.
  for (;;) {
    int32_t i32Result = p_poToken->ReadToken(p_poSource);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    uint32_t u32Id = 0;
    p_poToken->GetId(&u32Id);
    if (u32Id == KTX_BTID_END) {
      return KTX_RC_OK;
    }
    i32Result = p_fnToken(u32Id);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
  }
}

int32_t WriteTokenFile(KTX_BufferToken *p_poToken, KTX_Buffer *p_poBuffer, const KTX_Version &p_roVersion,
                       const KTX_DateTime &p_roFileDate, KTX_Config *p_poConfig) {
  if (p_poToken == nullptr || p_poBuffer == nullptr || p_poConfig == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_Config::InstallKeywords();
  const int32_t i32Result = p_poToken->WriteHeader(p_poBuffer, p_roVersion, p_roFileDate);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  return p_poConfig->WriteConfig(p_poBuffer, p_poToken);
}
