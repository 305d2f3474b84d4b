#include "buffers/BufferFlashConfig.h"

#include "buffers/Crc32.h"
#include "buffers/FlashStore.h"
#include "runtime/ReturnCode.h"

#include <new>

namespace {

// The header plus the data, or 0 (refused by the flash buffer) when that does not fit 32 bits.
uint32_t RecordLength(uint32_t p_u32DataLength) {
  return p_u32DataLength > 0xFFFFFFFFu - KTX_BufferFlashConfig::c_u32HeaderSize
             ? 0
             : p_u32DataLength + KTX_BufferFlashConfig::c_u32HeaderSize;
}

uint32_t LoadLe32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

KTX_BufferFlashConfig::KTX_BufferFlashConfig(uint32_t p_u32Mode, uint32_t p_u32Address, uint32_t p_u32DataLength,
                                             uint32_t p_u32Minimum, uint32_t p_u32Maximum)
    : KTX_BufferFlash(p_u32Mode, p_u32Address, RecordLength(p_u32DataLength)), c_u32RunningCrc(0),
      c_u32StoredCrc(0), c_u32StoredLength(0), c_u32HeaderLength(0) {
  if (c_i32Status != KTX_RC_OK) {
    return;
  }
  if (p_u32Mode != c_u32ModeOffsetRead && p_u32Mode != c_u32ModeOffsetWrite) {
    FailRecord(KTX_RC_INVALID_PARAMETER);
    return;
  }
  ReadRecord(p_u32Minimum, p_u32Maximum);
}

KTX_BufferFlashConfig::~KTX_BufferFlashConfig() = default;

void KTX_BufferFlashConfig::FailRecord(int32_t p_i32Status) {
  c_u32HeaderLength = 0;
  Fail(p_i32Status);
}

void KTX_BufferFlashConfig::ReadRecord(uint32_t p_u32Minimum, uint32_t p_u32Maximum) {
  uint8_t au8Header[c_u32HeaderSize];
  uint32_t u32Count = c_u32HeaderSize;
  if (ReadAt(c_u32BaseAddress, au8Header, &u32Count) != KTX_RC_OK || u32Count != c_u32HeaderSize) {
    FailRecord(KTX_RC_OPERATION_FAILED);
    return;
  }
  c_u32StoredCrc = LoadLe32(au8Header);
  c_u32StoredLength = LoadLe32(au8Header + 4);
  if (c_u32StoredCrc == 0xFFFFFFFFu || c_u32StoredLength == 0xFFFFFFFFu) {
    c_u32StoredCrc = 0;
    c_u32StoredLength = 0;
    FailRecord(KTX_RC_BUFFER_EMPTY);
    return;
  }
  if (c_u32StoredLength < p_u32Minimum || c_u32StoredLength > p_u32Maximum) {
    FailRecord(KTX_RC_BUFFER_OVERFLOW);
    return;
  }
  c_u32HeaderLength = c_u32HeaderSize;

  // Replace the copy of the header by a copy of the data.
  uint8_t *pu8Data = new (std::nothrow) uint8_t[c_u32StoredLength > 0 ? c_u32StoredLength : 1];
  if (pu8Data == nullptr) {
    FailRecord(KTX_RC_OPERATION_FAILED);
    return;
  }
  const uint64_t u64DataPosition = static_cast<uint64_t>(c_u32BaseAddress) + c_u32HeaderSize;
  if (u64DataPosition > 0xFFFFFFFFu) {
    delete[] pu8Data;
    FailRecord(KTX_RC_INVALID_PARAMETER);
    return;
  }
  if (c_u32StoredLength > 0) {
    const int32_t i32Result =
        KTX_FlashStore::ReadFlash(FlashAddress(static_cast<uint32_t>(u64DataPosition)), c_u32StoredLength, pu8Data);
    if (i32Result != KTX_RC_OK) {
      delete[] pu8Data;
      FailRecord(i32Result);
      return;
    }
  }
  delete[] c_pu8Copy;
  c_pu8Copy = pu8Data;
  c_u32BaseAddress = static_cast<uint32_t>(u64DataPosition);
  c_u32Size = c_u32StoredLength;
  c_u32ReadCursor = c_u32BaseAddress;
  c_u32WriteCursor = c_u32BaseAddress;

  c_u32RunningCrc = KTX_Crc32Update(0, c_pu8Copy, c_u32Size);
  if (c_u32RunningCrc != c_u32StoredCrc) {
    FailRecord(KTX_RC_CRC_FAILED);
  }
}
