#pragma once
// A memory copy of a range of the flash store. The range is given as an
// absolute flash address (modes 1 and 2) or as an offset from the start of the
// store (modes 3 and 4); modes 2 and 4 allow writing to the copy, which never
// goes back to the store. Positions are in the space of the address given, and
// reads deliver the whole request or nothing. A buffer whose construction
// failed keeps the failure in GetStatus() and answers every operation with
// KTX_RC_OPERATION_NOT_PERMITTED. Used by one thread at a time; takes no lock.

#include "buffers/Buffer.h"

#include <cstdint>

class KTX_BufferFlash : public KTX_Buffer {
public:
  static constexpr uint32_t c_u32ModeAbsoluteRead = 1;
  static constexpr uint32_t c_u32ModeAbsoluteWrite = 2;
  static constexpr uint32_t c_u32ModeOffsetRead = 3;
  static constexpr uint32_t c_u32ModeOffsetWrite = 4;

  KTX_BufferFlash(uint32_t p_u32Mode, uint32_t p_u32Address, uint32_t p_u32Length);
  ~KTX_BufferFlash() override;

  // At the write cursor, through WriteAt.
  int32_t Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // The whole request at the read cursor, or nothing.
  int32_t Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // Both outputs are base address + size - read cursor.
  int32_t GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) override;
  int32_t SetReadPosition(uint32_t p_u32Position, uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) override;
  // Writable modes only. KTX_RC_BUFFER_OVERFLOW when the bytes are not all inside the range.
  int32_t WriteAt(uint32_t p_u32Position, const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // KTX_RC_BUFFER_OVERFLOW when the bytes are not all inside the range
  // (KTX_RC_BUFFER_EMPTY when the range is empty); nothing is copied then.
  int32_t ReadAt(uint32_t p_u32Position, uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;

  uint32_t GetMode() const { return c_u32Mode; }
  uint32_t GetSize() const { return c_u32Size; }
  const uint8_t *GetData() const { return c_pu8Copy; }

protected:
  bool ModeUsable() const { return c_u32Mode >= c_u32ModeAbsoluteRead && c_u32Mode <= c_u32ModeOffsetWrite; }
  // 0 when the bytes lie inside the range; KTX_RC_BUFFER_OVERFLOW, or KTX_RC_BUFFER_EMPTY for an empty range.
  int32_t CheckRange(uint32_t p_u32Position, uint32_t p_u32Count) const;
  // Flash address of a position in this buffer's address space.
  uint32_t FlashAddress(uint32_t p_u32Position) const;
  // Leaves the buffer unusable with p_i32Status.
  void Fail(int32_t p_i32Status);

  uint32_t c_u32Mode;
  uint8_t *c_pu8Copy;
  uint32_t c_u32Size;
  uint32_t c_u32ReadCursor;
  uint32_t c_u32WriteCursor;
};
