#include "buffers/BufferHeap.h"

#include "runtime/ReturnCode.h"

#include <cstring>
#include <new>

KTX_BufferHeap::KTX_BufferHeap()
    : KTX_Buffer(KTX_BASE_CLASS_BUFFER_HEAP), c_pu8Storage(nullptr), c_u32Capacity(0), c_u32Size(0),
      c_u32ReadOffset(0), c_u32WriteAddress(0), c_u8FillByte(0) {}

KTX_BufferHeap::~KTX_BufferHeap() { delete[] c_pu8Storage; }

int32_t KTX_BufferHeap::EnsureRange(uint32_t p_u32Address, uint32_t p_u32Count) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_u32Count == 0 || p_u32Count > c_u32MaxSize) {
    return KTX_RC_INVALID_PARAMETER;
  }
  // 64-bit arithmetic: a window near the top of the address space must not wrap.
  uint64_t u64Base = c_u32BaseAddress;
  uint64_t u64Size = c_u32Size;
  bool bChange = false;
  if (u64Size == 0) {
    u64Base = p_u32Address;
    u64Size = p_u32Count;
    bChange = true;
  }
  if (p_u32Address < u64Base) {
    u64Size += u64Base - p_u32Address;
    u64Base = p_u32Address;
    bChange = true;
  }
  const uint64_t u64End = static_cast<uint64_t>(p_u32Address) - u64Base + p_u32Count;
  if (u64End > u64Size) {
    u64Size = u64End;
    bChange = true;
  }
  // The window holds at most c_u32MaxSize bytes and ends within the 32-bit address space.
  if (u64Size > c_u32MaxSize || u64Base + u64Size > 0x100000000ull) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (!bChange) {
    return KTX_RC_OK;
  }
  const uint32_t u32NewBase = static_cast<uint32_t>(u64Base);
  const uint32_t u32NewSize = static_cast<uint32_t>(u64Size);
  if (c_pu8Storage != nullptr && u32NewBase == c_u32BaseAddress && u32NewSize < c_u32Capacity) {
    // Bytes past the old size were filled when the storage was allocated and never written since.
    c_u32Size = u32NewSize;
    return KTX_RC_OK;
  }
  uint32_t u32Allocate = (u32NewSize + c_u32GrowthStep) / c_u32GrowthStep * c_u32GrowthStep;
  if (u32Allocate > c_u32MaxSize) {
    u32Allocate = c_u32MaxSize;
  }
  uint8_t *pu8New = new (std::nothrow) uint8_t[u32Allocate];
  if (pu8New == nullptr) {
    return KTX_RC_MALLOC_FAILED;
  }
  std::memset(pu8New, c_u8FillByte, u32Allocate);
  if (c_pu8Storage != nullptr && c_u32Size > 0) {
    std::memcpy(pu8New + (c_u32BaseAddress - u32NewBase), c_pu8Storage, c_u32Size);
  }
  delete[] c_pu8Storage;
  c_pu8Storage = pu8New;
  c_u32BaseAddress = u32NewBase;
  c_u32Capacity = u32Allocate;
  c_u32Size = u32NewSize;
  return KTX_RC_OK;
}

int32_t KTX_BufferHeap::CoverForWrite(uint32_t p_u32Address, uint32_t p_u32Count) {
  const uint64_t u64End = static_cast<uint64_t>(p_u32Address) + p_u32Count;
  if (c_pu8Storage == nullptr || p_u32Address < c_u32BaseAddress ||
      u64End > static_cast<uint64_t>(c_u32BaseAddress) + c_u32Size) {
    return EnsureRange(p_u32Address, p_u32Count);
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferHeap::Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  KTX_ObjectLockGuard oLock(*this);
  return WriteAt(c_u32WriteAddress, p_pu8Data, p_pu32Count);
}

int32_t KTX_BufferHeap::WriteAt(uint32_t p_u32Address, const uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Count = *p_pu32Count;
  const int32_t i32Result = CoverForWrite(p_u32Address, u32Count);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  if (u32Count > 0) {
    std::memcpy(c_pu8Storage + (p_u32Address - c_u32BaseAddress), p_pu8Data, u32Count);
  }
  c_u32WriteAddress = p_u32Address + u32Count;
  return KTX_RC_OK;
}

int32_t KTX_BufferHeap::Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (c_pu8Storage == nullptr) {
    return KTX_RC_BUFFER_EMPTY;
  }
  const uint32_t u32Left = c_u32ReadOffset < c_u32Size ? c_u32Size - c_u32ReadOffset : 0;
  const uint32_t u32Count = *p_pu32Count < u32Left ? *p_pu32Count : u32Left;
  if (u32Count == 0) {
    return KTX_RC_BUFFER_EMPTY;
  }
  std::memcpy(p_pu8Data, c_pu8Storage + c_u32ReadOffset, u32Count);
  c_u32ReadOffset += u32Count;
  *p_pu32Count = u32Count;
  return KTX_RC_OK;
}

int32_t KTX_BufferHeap::ReadAt(uint32_t p_u32Offset, uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_pu8Data == nullptr || p_pu32Count == nullptr || p_u32Offset > c_u32Size) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (c_u32Size == 0 || c_pu8Storage == nullptr) {
    return KTX_RC_BUFFER_EMPTY;
  }
  const uint32_t u32Left = c_u32Size - p_u32Offset;
  const uint32_t u32Count = *p_pu32Count < u32Left ? *p_pu32Count : u32Left;
  if (u32Count == 0) {
    return KTX_RC_BUFFER_EMPTY;
  }
  std::memcpy(p_pu8Data, c_pu8Storage + p_u32Offset, u32Count);
  c_u32ReadOffset = p_u32Offset + u32Count;
  *p_pu32Count = u32Count;
  return KTX_RC_OK;
}

int32_t KTX_BufferHeap::GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  KTX_ObjectLockGuard oLock(*this);
  if (p_pu32Remaining != nullptr) {
    *p_pu32Remaining = c_u32ReadOffset < c_u32Size ? c_u32Size - c_u32ReadOffset : 0;
  }
  if (p_pu32Total != nullptr) {
    *p_pu32Total = c_u32Size;
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferHeap::SetReadPosition(uint32_t p_u32Position, uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  KTX_ObjectLockGuard oLock(*this);
  c_u32ReadOffset = p_u32Position;
  return GetByteCount(p_pu32Remaining, p_pu32Total);
}
