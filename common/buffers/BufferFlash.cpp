#include "buffers/BufferFlash.h"

#include "buffers/FlashStore.h"
#include "runtime/ReturnCode.h"

#include <cstring>
#include <new>

KTX_BufferFlash::KTX_BufferFlash(uint32_t p_u32Mode, uint32_t p_u32Address, uint32_t p_u32Length)
    : KTX_Buffer(KTX_BASE_CLASS_BUFFER_FLASH), c_u32Mode(p_u32Mode), c_pu8Copy(nullptr), c_u32Size(p_u32Length),
      c_u32ReadCursor(p_u32Address), c_u32WriteCursor(p_u32Address) {
  c_u32BaseAddress = p_u32Address;
  const uint64_t u64WindowEnd = static_cast<uint64_t>(KTX_FlashStore::c_u32BaseAddress) + KTX_FlashStore::c_u32Size;
  bool bValid = true;
  switch (p_u32Mode) {
  case c_u32ModeAbsoluteRead:
    bValid = p_u32Length > 0 && p_u32Address >= KTX_FlashStore::c_u32BaseAddress &&
             static_cast<uint64_t>(p_u32Address) + p_u32Length <= u64WindowEnd;
    break;
  case c_u32ModeOffsetRead:
    bValid = p_u32Length > 0 && p_u32Length <= KTX_FlashStore::c_u32Size;
    break;
  case c_u32ModeAbsoluteWrite:
  case c_u32ModeOffsetWrite:
    bValid = p_u32Length > 0;
    break;
  default:
    // An unknown mode gives a buffer without a copy that refuses every operation.
    c_u32Size = 0;
    return;
  }
  if (!bValid) {
    Fail(KTX_RC_INVALID_PARAMETER);
    return;
  }
  const bool bWritable = p_u32Mode == c_u32ModeAbsoluteWrite || p_u32Mode == c_u32ModeOffsetWrite;
  c_pu8Copy = new (std::nothrow) uint8_t[p_u32Length];
  if (c_pu8Copy == nullptr) {
    Fail(bWritable ? KTX_RC_MALLOC_FAILED : KTX_RC_OPERATION_FAILED);
    return;
  }
  const int32_t i32Result = KTX_FlashStore::ReadFlash(FlashAddress(p_u32Address), p_u32Length, c_pu8Copy);
  if (i32Result != KTX_RC_OK) {
    Fail(i32Result);
  }
}

KTX_BufferFlash::~KTX_BufferFlash() { delete[] c_pu8Copy; }

void KTX_BufferFlash::Fail(int32_t p_i32Status) {
  c_i32Status = p_i32Status;
  c_u32Mode = 0;
  delete[] c_pu8Copy;
  c_pu8Copy = nullptr;
  c_u32BaseAddress = 0;
  c_u32Size = 0;
  c_u32ReadCursor = 0;
  c_u32WriteCursor = 0;
}

uint32_t KTX_BufferFlash::FlashAddress(uint32_t p_u32Position) const {
  // Offsets that would wrap past the top of the address space land below the
  // window, where the store refuses them.
  if (c_u32Mode == c_u32ModeOffsetRead || c_u32Mode == c_u32ModeOffsetWrite) {
    const uint64_t u64Address = static_cast<uint64_t>(KTX_FlashStore::c_u32BaseAddress) + p_u32Position;
    return u64Address > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(u64Address);
  }
  return p_u32Position;
}

int32_t KTX_BufferFlash::CheckRange(uint32_t p_u32Position, uint32_t p_u32Count) const {
  if (p_u32Position >= c_u32BaseAddress &&
      static_cast<uint64_t>(p_u32Position) + p_u32Count <= static_cast<uint64_t>(c_u32BaseAddress) + c_u32Size) {
    return KTX_RC_OK;
  }
  return c_u32Size == 0 ? KTX_RC_BUFFER_EMPTY : KTX_RC_BUFFER_OVERFLOW;
}

int32_t KTX_BufferFlash::ReadAt(uint32_t p_u32Position, uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  if (!ModeUsable()) {
    return KTX_RC_OPERATION_NOT_PERMITTED;
  }
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Count = *p_pu32Count;
  const int32_t i32Result = CheckRange(p_u32Position, u32Count);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  if (u32Count > 0) {
    std::memcpy(p_pu8Data, c_pu8Copy + (p_u32Position - c_u32BaseAddress), u32Count);
  }
  c_u32ReadCursor = p_u32Position + u32Count;
  MarkTime();
  return KTX_RC_OK;
}

int32_t KTX_BufferFlash::Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  // ReadAt leaves the read cursor after the bytes it delivered.
  return ReadAt(c_u32ReadCursor, p_pu8Data, p_pu32Count);
}

int32_t KTX_BufferFlash::WriteAt(uint32_t p_u32Position, const uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  if (c_u32Mode != c_u32ModeAbsoluteWrite && c_u32Mode != c_u32ModeOffsetWrite) {
    return KTX_RC_OPERATION_NOT_PERMITTED;
  }
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Count = *p_pu32Count;
  const int32_t i32Result = CheckRange(p_u32Position, u32Count);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  if (u32Count > 0) {
    std::memcpy(c_pu8Copy + (p_u32Position - c_u32BaseAddress), p_pu8Data, u32Count);
  }
  c_u32WriteCursor = p_u32Position + u32Count;
  MarkTime();
  return KTX_RC_OK;
}

int32_t KTX_BufferFlash::Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  return WriteAt(c_u32WriteCursor, p_pu8Data, p_pu32Count);
}

int32_t KTX_BufferFlash::GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  uint32_t u32Left = 0;
  int32_t i32Result = KTX_RC_OPERATION_NOT_PERMITTED;
  if (ModeUsable()) {
    // A cursor moved outside the range leaves nothing to read.
    const uint64_t u64End = static_cast<uint64_t>(c_u32BaseAddress) + c_u32Size;
    if (c_u32ReadCursor >= c_u32BaseAddress && c_u32ReadCursor <= u64End) {
      u32Left = static_cast<uint32_t>(u64End - c_u32ReadCursor);
    }
    i32Result = KTX_RC_OK;
  }
  if (p_pu32Remaining != nullptr) {
    *p_pu32Remaining = u32Left;
  }
  if (p_pu32Total != nullptr) {
    *p_pu32Total = u32Left;
  }
  return i32Result;
}

int32_t KTX_BufferFlash::SetReadPosition(uint32_t p_u32Position, uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  if (ModeUsable()) {
    c_u32ReadCursor = p_u32Position;
  }
  return GetByteCount(p_pu32Remaining, p_pu32Total);
}
