#pragma once
// The configuration record kept in flash: an 8-byte header (CRC-32 of the data,
// then the data's length, both little-endian) followed by the data. After a
// successful construction the buffer reads as the bare data. A header word of
// 0xFFFFFFFF means erased flash: no record (status KTX_RC_BUFFER_EMPTY).

#include "buffers/BufferFlash.h"

#include <cstdint>

class KTX_BufferFlashConfig : public KTX_BufferFlash {
public:
  static constexpr uint32_t c_u32HeaderSize = 8;

  // Reads the record at p_u32Address (modes 3 and 4: an offset into the store;
  // p_u32DataLength is 0 when reading). The status tells the outcome:
  // KTX_RC_BUFFER_EMPTY for erased flash, KTX_RC_BUFFER_OVERFLOW for a stored
  // length outside p_u32Minimum .. p_u32Maximum, KTX_RC_CRC_FAILED for data that
  // does not match its CRC.
  KTX_BufferFlashConfig(uint32_t p_u32Mode, uint32_t p_u32Address, uint32_t p_u32DataLength, uint32_t p_u32Minimum,
                        uint32_t p_u32Maximum);
  ~KTX_BufferFlashConfig() override;

  uint32_t GetStoredCrc() const { return c_u32StoredCrc; }
  uint32_t GetStoredLength() const { return c_u32StoredLength; }
  uint32_t GetHeaderLength() const { return c_u32HeaderLength; }

private:
  void ReadRecord(uint32_t p_u32Minimum, uint32_t p_u32Maximum);
  void FailRecord(int32_t p_i32Status);

  uint32_t c_u32RunningCrc;
  uint32_t c_u32StoredCrc;
  uint32_t c_u32StoredLength;
  uint32_t c_u32HeaderLength;
};
