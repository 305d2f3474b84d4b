#include "config/ConfigCalibration.h"

#include "buffers/BufferToken.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <new>

namespace {
constexpr const char *k_szSource = "ConfigCalibration";
constexpr uint32_t k_u32ValuesPerPoint = 4;
} // namespace

KTX_ConfigCalibration::KTX_ConfigCalibration() : c_u32Count(0), c_u32Capacity(0), c_i32SeedPointIndex(-1) {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_CALIBRATION;
}

KTX_ConfigCalibration::~KTX_ConfigCalibration() = default;

KTX_CalibrationPoint *KTX_ConfigCalibration::GetPoint(uint32_t p_u32Index) {
  return p_u32Index < c_u32Count ? &c_poPoints[p_u32Index] : nullptr;
}

const KTX_CalibrationPoint *KTX_ConfigCalibration::GetPoint(uint32_t p_u32Index) const {
  return p_u32Index < c_u32Count ? &c_poPoints[p_u32Index] : nullptr;
}

int32_t KTX_ConfigCalibration::Resize(uint32_t p_u32Count) {
  if (p_u32Count > c_u32MaxPoints) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_u32Count > c_u32Capacity) {
    std::unique_ptr<KTX_CalibrationPoint[]> poPoints(new (std::nothrow) KTX_CalibrationPoint[p_u32Count]());
    if (!poPoints) {
      return KTX_RC_MALLOC_FAILED;
    }
    for (uint32_t i = 0; i < c_u32Count; ++i) {
      poPoints[i] = c_poPoints[i];
    }
    c_poPoints = std::move(poPoints);
    c_u32Capacity = p_u32Count;
  } else {
    for (uint32_t i = c_u32Count; i < p_u32Count; ++i) {
      c_poPoints[i] = KTX_CalibrationPoint{};
    }
  }
  c_u32Count = p_u32Count;
  if (c_i32SeedPointIndex >= 0 && static_cast<uint32_t>(c_i32SeedPointIndex) >= p_u32Count) {
    c_i32SeedPointIndex = -1;
  }
  return KTX_RC_OK;
}

int32_t KTX_ConfigCalibration::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  WriteBegin(p_poBuffer, p_poToken, 0);
  p_poToken->SetUint16(KTX_BTID_CALIBRATION_POINT_COUNT, static_cast<uint16_t>(c_u32Count)).WriteToken(p_poBuffer);
  for (uint32_t i = 0; i < c_u32Count; ++i) {
    const KTX_CalibrationPoint &roPoint = c_poPoints[i];
    const uint32_t au32Values[k_u32ValuesPerPoint] = {
        static_cast<uint32_t>(roPoint.i32LeftX), static_cast<uint32_t>(roPoint.i32LeftY),
        static_cast<uint32_t>(roPoint.i32RightX), static_cast<uint32_t>(roPoint.i32RightY)};
    p_poToken->SetUint32Array(KTX_BTID_CALIBRATION_POINT, k_u32ValuesPerPoint, au32Values).WriteToken(p_poBuffer);
  }
  p_poToken->SetUint32(KTX_BTID_CALIBRATION_SEED_POINT_INDEX, static_cast<uint32_t>(c_i32SeedPointIndex))
      .WriteToken(p_poBuffer);
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigCalibration::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    switch (p_u32Id) {
    case KTX_BTID_CALIBRATION_POINT_COUNT: {
      // The count only reserves room; the points follow one by one.
      uint16_t u16Count = 0;
      int32_t i32Result = p_poToken->GetUint16(nullptr, &u16Count);
      if (i32Result == KTX_RC_OK) {
        i32Result = Resize(u16Count);
      }
      if (i32Result == KTX_RC_OK) {
        c_u32Count = 0;
        c_i32SeedPointIndex = -1;
      }
      return i32Result;
    }
    case KTX_BTID_CALIBRATION_POINT: {
      uint32_t au32Values[k_u32ValuesPerPoint];
      if (p_poToken->GetUint32Array(k_u32ValuesPerPoint, au32Values) != KTX_RC_OK) {
        KTX_LOG_AT(k_szSource, KTX_ASSERT, "ReadConfig - KTX_BTID_CALIBRATION_POINT");
        return KTX_RC_BUFFER_GENERIC_ERROR;
      }
      const int32_t i32Result = Resize(c_u32Count + 1);
      if (i32Result == KTX_RC_OK) {
        c_poPoints[c_u32Count - 1] =
            KTX_CalibrationPoint{static_cast<int32_t>(au32Values[0]), static_cast<int32_t>(au32Values[1]),
                                 static_cast<int32_t>(au32Values[2]), static_cast<int32_t>(au32Values[3])};
      }
      return i32Result;
    }
    case KTX_BTID_CALIBRATION_SEED_POINT_INDEX: {
      uint32_t u32Seed = 0;
      if (p_poToken->GetUint32(&u32Seed) != KTX_RC_OK) {
        KTX_LOG_AT(k_szSource, KTX_ASSERT, "ReadConfig - KTX_BTID_CALIBRATION_SEED_POINT_INDEX");
        return KTX_RC_BUFFER_GENERIC_ERROR;
      }
      c_i32SeedPointIndex = static_cast<int32_t>(u32Seed);
      return KTX_RC_OK;
    }
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
  });
}
