#include "buffers/BufferFixed.h"

#include "runtime/ReturnCode.h"

#include <cstring>

KTX_BufferFixed::KTX_BufferFixed(uint8_t *p_pu8Storage, uint32_t p_u32Capacity, int32_t p_i32ClassType)
    : KTX_Buffer(p_i32ClassType), c_pu8Storage(p_pu8Storage), c_u32Capacity(p_pu8Storage != nullptr ? p_u32Capacity : 0),
      c_u32ReadPosition(0), c_u32WritePosition(0) {}

KTX_BufferFixed::~KTX_BufferFixed() = default;

void KTX_BufferFixed::Attach(uint8_t *p_pu8Storage, uint32_t p_u32Capacity) {
  KTX_ObjectLockGuard oLock(*this);
  c_pu8Storage = p_pu8Storage;
  c_u32Capacity = p_pu8Storage != nullptr ? p_u32Capacity : 0;
  c_u32ReadPosition = 0;
  c_u32WritePosition = 0;
}

int32_t KTX_BufferFixed::Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Count = *p_pu32Count;
  if (c_u32Capacity - c_u32WritePosition < u32Count) {
    return KTX_RC_BUFFER_OVERFLOW;
  }
  if (u32Count > 0) {
    std::memcpy(c_pu8Storage + c_u32WritePosition, p_pu8Data, u32Count);
  }
  c_u32WritePosition += u32Count;
  return KTX_RC_OK;
}

int32_t KTX_BufferFixed::Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Left = c_u32Capacity - c_u32ReadPosition;
  const uint32_t u32Count = *p_pu32Count < u32Left ? *p_pu32Count : u32Left;
  if (u32Count > 0) {
    std::memcpy(p_pu8Data, c_pu8Storage + c_u32ReadPosition, u32Count);
  }
  c_u32ReadPosition += u32Count;
  *p_pu32Count = u32Count;
  return KTX_RC_OK;
}

int32_t KTX_BufferFixed::GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  KTX_ObjectLockGuard oLock(*this);
  const uint32_t u32Left = c_u32Capacity - c_u32ReadPosition;
  if (p_pu32Remaining != nullptr) {
    *p_pu32Remaining = u32Left;
  }
  if (p_pu32Total != nullptr) {
    *p_pu32Total = u32Left;
  }
  return KTX_RC_OK;
}
