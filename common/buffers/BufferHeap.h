#pragma once
// Growable memory that covers a window of addresses. Writes use addresses and
// grow the window downwards or upwards as needed (bytes that come into being
// without being written are zero); reads count from the window's first byte. A
// heap filled by WriteAt at scattered addresses therefore reads back as one
// block from the lowest address written to the highest.

#include "buffers/Buffer.h"

#include <cstdint>

class KTX_BufferHeap : public KTX_Buffer {
public:
  // The window never covers more than this many bytes.
  static constexpr uint32_t c_u32MaxSize = 0x500000;
  // Storage grows in steps of this many bytes.
  static constexpr uint32_t c_u32GrowthStep = 5120;

  KTX_BufferHeap();
  ~KTX_BufferHeap() override;

  int32_t Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  int32_t Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  int32_t GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) override;
  int32_t SetReadPosition(uint32_t p_u32Position, uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) override;
  // Writes at an address, growing the window; the write address follows the bytes written.
  int32_t WriteAt(uint32_t p_u32Address, const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // Reads at an offset from the first byte; the read offset follows the bytes read.
  int32_t ReadAt(uint32_t p_u32Offset, uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;

  // Makes the window cover p_u32Address .. p_u32Address + p_u32Count - 1.
  int32_t EnsureRange(uint32_t p_u32Address, uint32_t p_u32Count);

  uint32_t GetCapacity() const { return c_u32Capacity; }
  uint32_t GetSize() const { return c_u32Size; }
  uint32_t GetWriteAddress() const { return c_u32WriteAddress; }
  // The bytes of the window (absent while the buffer is empty). Valid until the next write.
  const uint8_t *GetData() const { return c_pu8Storage; }

private:
  // Grows the window when [p_u32Address, p_u32Address + p_u32Count) is not inside it.
  int32_t CoverForWrite(uint32_t p_u32Address, uint32_t p_u32Count);

  uint8_t *c_pu8Storage;
  uint32_t c_u32Capacity;
  uint32_t c_u32Size;
  uint32_t c_u32ReadOffset;
  uint32_t c_u32WriteAddress;
  uint8_t c_u8FillByte;
};
