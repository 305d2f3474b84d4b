#include "buffers/Buffer.h"

#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"

KTX_Buffer::KTX_Buffer(int32_t p_i32ClassType)
    : KTX_BaseClass(p_i32ClassType), c_u32TimeStamp(OsalGetTickCount()), c_u32BaseAddress(0), c_i32Status(KTX_RC_OK) {}

KTX_Buffer::~KTX_Buffer() = default;

int32_t KTX_Buffer::SetReadPosition(uint32_t, uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  if (p_pu32Remaining != nullptr) {
    *p_pu32Remaining = 0;
  }
  if (p_pu32Total != nullptr) {
    *p_pu32Total = 0;
  }
  return KTX_RC_OPERATION_NOT_PERMITTED;
}

int32_t KTX_Buffer::WriteAt(uint32_t, const uint8_t *, uint32_t *) { return KTX_RC_OPERATION_NOT_PERMITTED; }

int32_t KTX_Buffer::ReadAt(uint32_t, uint8_t *, uint32_t *) { return KTX_RC_OPERATION_NOT_PERMITTED; }

void KTX_Buffer::MarkTime() { c_u32TimeStamp = OsalGetTickCount(); }

uint32_t KTX_Buffer::SetAge(uint32_t p_u32Milliseconds) {
  c_u32TimeStamp = OsalGetTickCount() - p_u32Milliseconds;
  return c_u32TimeStamp;
}

uint32_t KTX_Buffer::GetAge() { return OsalGetTickCount() - c_u32TimeStamp; }

int32_t KTX_Buffer::SetBaseAddress(uint32_t p_u32Address) {
  c_u32BaseAddress = p_u32Address;
  return KTX_RC_OK;
}

int32_t KTX_Buffer::WritePackedUint32(uint32_t p_u32Value) {
  uint8_t au8Bytes[5];
  uint32_t u32Count = 0;
  if (p_u32Value <= 250) {
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value);
  } else if (p_u32Value == 0xFFFFFFFFu) {
    au8Bytes[u32Count++] = 0xFF;
  } else if (p_u32Value <= 0xFF) {
    au8Bytes[u32Count++] = 0xFB;
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value);
  } else if (p_u32Value <= 0xFFFF) {
    au8Bytes[u32Count++] = 0xFC;
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value >> 8);
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value);
  } else {
    au8Bytes[u32Count++] = 0xFE;
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value >> 24);
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value >> 16);
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value >> 8);
    au8Bytes[u32Count++] = static_cast<uint8_t>(p_u32Value);
  }
  return Write(au8Bytes, &u32Count);
}

int32_t KTX_Buffer::ReadPackedUint32(uint32_t *p_pu32Value) {
  if (p_pu32Value == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  uint8_t au8Bytes[4];
  uint32_t u32Count = 1;
  int32_t i32Result = Read(au8Bytes, &u32Count);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  // Some kinds report a short read as success; the value would be made of
  // bytes that were never delivered.
  if (u32Count != 1) {
    return KTX_RC_BUFFER_EMPTY;
  }
  uint32_t u32Follow = 0;
  switch (au8Bytes[0]) {
  case 0xFB:
    u32Follow = 1;
    break;
  case 0xFC:
    u32Follow = 2;
    break;
  case 0xFE:
    u32Follow = 4;
    break;
  case 0xFF:
    *p_pu32Value = 0xFFFFFFFFu;
    return KTX_RC_OK;
  default:
    *p_pu32Value = au8Bytes[0];
    return KTX_RC_OK;
  }
  u32Count = u32Follow;
  i32Result = Read(au8Bytes, &u32Count);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  if (u32Count != u32Follow) {
    return KTX_RC_BUFFER_EMPTY;
  }
  uint32_t u32Value = 0;
  for (uint32_t i = 0; i < u32Follow; ++i) {
    u32Value = (u32Value << 8) | au8Bytes[i];
  }
  *p_pu32Value = u32Value;
  return KTX_RC_OK;
}
