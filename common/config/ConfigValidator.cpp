#include "config/ConfigValidator.h"

#include "config/ConfigDevice.h"
#include "config/Detector.h"
#include "link/DeviceAddress.h"
#include "runtime/ReturnCode.h"

#include <arpa/inet.h>

#include <cstdio>

namespace {

// The least number of calibration points the sensor can work with.
constexpr uint32_t k_u32MinCalibrationPoints = 3;

struct MessageRow {
  int32_t i32Code;
  int32_t i32MessageId;
  const char *szText;
};

const MessageRow k_aoMessages[] = {
    {KTX_VALIDATION_START_FAILED, 163, "An error occurred while starting the configuration validation: %s."},
    {KTX_VALIDATION_NO_CONFIGURATION, 165, "No configuration has been created."},
    {KTX_VALIDATION_NETWORK_INVALID, 213, "The network parameters are not valid."},
    {KTX_VALIDATION_NO_IMAGE, 169, "You must get an image from the device before the configuration can be downloaded."},
    {KTX_VALIDATION_TOO_FEW_POINTS, 162, "There must be at least three calibration points defined."},
    {KTX_VALIDATION_NO_SEED_POINT, 164,
     "The calibration must contain at least one user defined calibration seed point."},
    {KTX_VALIDATION_NO_DETECTOR, 166, "There must be at least one detector defined in the configuration."},
    {KTX_VALIDATION_NO_REGION, 167,
     "There must be at least one detection region defined for each detector in the configuration."},
    {KTX_VALIDATION_NO_OUTPUT, 168, "There must be at least one output defined for each region in each detector."},
};

const int32_t k_i32UnknownMessageId = 161;
const char *const k_szUnknownMessage =
    "An unknown validation error occurred: %d\n\nThe device configuration can not be downloaded.";

const MessageRow *FindMessage(int32_t p_i32Code) {
  for (const MessageRow &ro : k_aoMessages) {
    if (ro.i32Code == p_i32Code) {
      return &ro;
    }
  }
  return nullptr;
}

} // namespace

KTX_ConfigValidator::KTX_ConfigValidator(KTX_ValidationHandler *p_poHandler, KTX_ValidationContext *p_poContext)
    : c_poHandler(p_poHandler), c_poContext(p_poContext) {}

bool KTX_ConfigValidator::Report(int32_t p_i32Code) {
  if (c_poHandler != nullptr && c_poHandler->OnValidationError(p_i32Code, KTX_RC_OPERATION_FAILED)) {
    return true;
  }
  c_poContext->i32ErrorCode = p_i32Code;
  return false;
}

bool KTX_ConfigValidator::ParseIpv4(const char *p_szText, uint32_t *p_pu32Address) {
  if (p_szText == nullptr || p_pu32Address == nullptr) {
    return false;
  }
  uint32_t u32Address = 0;
  const char *pc = p_szText;
  for (int32_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*pc != '.') {
        return false;
      }
      ++pc;
    }
    uint32_t u32Part = 0;
    int32_t i32Digits = 0;
    // At most three digits each; the bound also ends the loop.
    while (*pc >= '0' && *pc <= '9' && i32Digits < 4) {
      u32Part = u32Part * 10 + static_cast<uint32_t>(*pc - '0');
      ++pc;
      ++i32Digits;
    }
    if (i32Digits == 0 || i32Digits > 3 || u32Part > 255) {
      return false;
    }
    u32Address = (u32Address << 8) | u32Part;
  }
  if (*pc != '\0') {
    return false;
  }
  *p_pu32Address = u32Address;
  return true;
}

int32_t KTX_ConfigValidator::Validate() {
  if (c_poContext == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_ConfigDevice *poRoot = c_poContext->poConfiguration;
  if (poRoot == nullptr) {
    // Nothing further can be checked, and nothing can be downloaded, whatever
    // the handler answers.
    Report(KTX_VALIDATION_NO_CONFIGURATION);
    c_poContext->i32ErrorCode = KTX_VALIDATION_NO_CONFIGURATION;
    return KTX_RC_OPERATION_FAILED;
  }

  const KTX_ConfigCom &roCom = poRoot->GetCommunications();
  uint32_t u32Ip = 0;
  uint32_t u32Mask = 0;
  uint32_t u32Gateway = 0;
  const bool bParsed = ParseIpv4(roCom.GetIpAddress().GetText(), &u32Ip) &&
                       ParseIpv4(roCom.GetNetworkMask().GetText(), &u32Mask) &&
                       ParseIpv4(roCom.GetGateway().GetText(), &u32Gateway);
  if (!bParsed || KTX_DeviceAddress::CheckNetworkSettings(htonl(u32Ip), htonl(u32Mask), htonl(u32Gateway)) != 0) {
    if (!Report(KTX_VALIDATION_NETWORK_INVALID)) {
      return KTX_RC_OPERATION_FAILED;
    }
  }

  const KTX_ConfigSensor &roSensor = poRoot->GetSensor();
  const KTX_ConfigCalibration &roCalibration = roSensor.GetCalibration();
  if (roCalibration.GetPointCount() < k_u32MinCalibrationPoints && !Report(KTX_VALIDATION_TOO_FEW_POINTS)) {
    return KTX_RC_OPERATION_FAILED;
  }
  // A seed index that names no point is no seed point either.
  const int32_t i32Seed = roCalibration.GetSeedPointIndex();
  if ((i32Seed < 0 || static_cast<uint32_t>(i32Seed) >= roCalibration.GetPointCount()) &&
      !Report(KTX_VALIDATION_NO_SEED_POINT)) {
    return KTX_RC_OPERATION_FAILED;
  }

  const KTX_ConfigDetection &roDetection = roSensor.GetDetection();
  if (roDetection.GetDetectorCount() == 0) {
    return Report(KTX_VALIDATION_NO_DETECTOR) ? KTX_RC_OK : KTX_RC_OPERATION_FAILED;
  }
  for (uint32_t i = 0; i < roDetection.GetDetectorCount(); ++i) {
    const KTX_Detector *poDetector = roDetection.GetDetector(i);
    if (poDetector->GetRegionCount() == 0 && !Report(KTX_VALIDATION_NO_REGION)) {
      return KTX_RC_OPERATION_FAILED;
    }
    for (uint32_t r = 0; r < poDetector->GetRegionCount(); ++r) {
      if (poDetector->OutputCount(r) == 0 && !Report(KTX_VALIDATION_NO_OUTPUT)) {
        return KTX_RC_OPERATION_FAILED;
      }
    }
  }
  return KTX_RC_OK;
}

void KTX_ConfigValidator::FormatMessage(int32_t p_i32Code, int32_t p_i32ReturnCode, char *p_szText, size_t p_uSize) {
  if (p_szText == nullptr || p_uSize == 0) {
    return;
  }
  const MessageRow *poRow = FindMessage(p_i32Code);
  if (poRow == nullptr) {
    std::snprintf(p_szText, p_uSize, k_szUnknownMessage, p_i32Code);
  } else if (p_i32Code == KTX_VALIDATION_START_FAILED) {
    std::snprintf(p_szText, p_uSize, poRow->szText, GetReturnCodeText(p_i32ReturnCode));
  } else {
    std::snprintf(p_szText, p_uSize, "%s", poRow->szText);
  }
}

int32_t KTX_ConfigValidator::GetMessageId(int32_t p_i32Code) {
  const MessageRow *poRow = FindMessage(p_i32Code);
  return poRow == nullptr ? k_i32UnknownMessageId : poRow->i32MessageId;
}
