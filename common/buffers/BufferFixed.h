#pragma once
// A buffer over caller-owned memory of fixed size: writes that do not fit are
// refused whole, reads deliver what is left. The buffer never frees or copies
// the memory it exposes.

#include "buffers/Buffer.h"

#include <cstdint>

class KTX_BufferFixed : public KTX_Buffer {
public:
  KTX_BufferFixed(uint8_t *p_pu8Storage, uint32_t p_u32Capacity, int32_t p_i32ClassType = KTX_BASE_CLASS_BUFFER_FIXED);
  ~KTX_BufferFixed() override;

  // KTX_RC_BUFFER_OVERFLOW and nothing written when the bytes do not fit.
  int32_t Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // Delivers what is left, possibly nothing; the result is 0 either way.
  int32_t Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // Both outputs are capacity - read position.
  int32_t GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) override;

  // Uses new storage and resets both positions to 0.
  void Attach(uint8_t *p_pu8Storage, uint32_t p_u32Capacity);

  const uint8_t *GetData() const { return c_pu8Storage; }
  uint32_t GetCapacity() const { return c_u32Capacity; }
  uint32_t GetReadPosition() const { return c_u32ReadPosition; }
  uint32_t GetWritePosition() const { return c_u32WritePosition; }

protected:
  uint8_t *c_pu8Storage;
  uint32_t c_u32Capacity;
  uint32_t c_u32ReadPosition;
  uint32_t c_u32WritePosition;
};
