#pragma once
// The one interface every byte stream goes through: memory, fixed areas,
// embedded resources, disk files and the simulated flash. A buffer has a read
// cursor, a write cursor and, for the kinds that cover an address range, random
// access by address. Counts are passed by pointer: on entry the number of bytes
// asked for, on return the number of bytes moved.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_Buffer : public KTX_BaseClass {
public:
  explicit KTX_Buffer(int32_t p_i32ClassType);
  ~KTX_Buffer() override;

  // Appends *p_pu32Count bytes at the write cursor.
  virtual int32_t Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) = 0;
  // Takes up to *p_pu32Count bytes from the read cursor; the count returns the number delivered.
  virtual int32_t Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) = 0;
  // Bytes left to read and the size, as each kind defines them. Either pointer may be absent.
  virtual int32_t GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) = 0;
  // Moves the read cursor, then answers as GetByteCount. Not every kind allows it.
  virtual int32_t SetReadPosition(uint32_t p_u32Position, uint32_t *p_pu32Remaining, uint32_t *p_pu32Total);
  virtual int32_t WriteAt(uint32_t p_u32Position, const uint8_t *p_pu8Data, uint32_t *p_pu32Count);
  // Reads at a position and leaves the read cursor after the bytes read.
  virtual int32_t ReadAt(uint32_t p_u32Position, uint8_t *p_pu8Data, uint32_t *p_pu32Count);
  virtual void MarkTime();
  // Time stamp = now - p_u32Milliseconds; returns the new stamp.
  virtual uint32_t SetAge(uint32_t p_u32Milliseconds);
  // Milliseconds since the time stamp.
  virtual uint32_t GetAge();

  uint32_t GetBaseAddress() const { return c_u32BaseAddress; }
  int32_t SetBaseAddress(uint32_t p_u32Address);

  // One variable-length unsigned 32-bit integer: 0..250 as one byte, 0xFFFFFFFF
  // as 0xFF, otherwise a prefix 0xFB, 0xFC or 0xFE followed by 1, 2 or 4 bytes,
  // most significant first. Written with one Write.
  int32_t WritePackedUint32(uint32_t p_u32Value);
  // Reads one packed integer. A buffer that delivers fewer bytes than the
  // encoding needs gives KTX_RC_BUFFER_EMPTY.
  int32_t ReadPackedUint32(uint32_t *p_pu32Value);

  // 0 when the buffer is usable; the failure of a constructor otherwise.
  int32_t GetStatus() const { return c_i32Status; }

protected:
  uint32_t c_u32TimeStamp;
  uint32_t c_u32BaseAddress;
  int32_t c_i32Status;
};
