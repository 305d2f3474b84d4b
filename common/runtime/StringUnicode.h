#pragma once
// The UTF-16 text object of the system. Texts up to 127 units live inside the
// object; longer ones move to a heap block of exactly the size asked for, which
// never shrinks. At most 1,000,000 units. Narrow text is widened byte by byte
// with sign extension (no code-page conversion), as the sensor family expects.
// Strings take no lock and are used by one thread at a time.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_StringUnicode : public KTX_BaseClass {
public:
  static constexpr int32_t c_i32MaxLength = 1000000;
  static constexpr int32_t c_i32InlineCapacity = 127;

  KTX_StringUnicode();
  ~KTX_StringUnicode() override;

  // Makes the text p_i32Length units long, growing the storage when needed; new
  // units are zero. Above 1,000,000 or negative: logged, the string becomes empty,
  // KTX_RC_INVALID_PARAMETER.
  int32_t SetLength(int32_t p_i32Length);
  int32_t Clear();

  // Each byte becomes one unit by sign extension (0xE9 gives 0xFFE9).
  KTX_StringUnicode &AssignNarrow(const char *p_szText);
  KTX_StringUnicode &AssignWide(const uint16_t *p_pu16Units);
  // At most p_i32ByteCount / 2 units, fewer when a zero unit comes first.
  int32_t AssignWideLimited(const uint16_t *p_pu16Units, int32_t p_i32ByteCount);
  // Appends the bytes of p_szText before a zero byte, at most p_i32Count of them.
  int32_t AppendNarrow(const char *p_szText, int32_t p_i32Count);
  // Chaining forms: a failure to grow is ignored.
  KTX_StringUnicode &AppendNarrowChar(char p_cChar);
  KTX_StringUnicode &AppendChar(uint16_t p_u16Unit);

  // Room for p_i32ByteCount / 2 units that the caller fills; the length becomes
  // that many units. An odd byte count: logged, none.
  uint16_t *ExposeBufferForWrite(int32_t p_i32ByteCount);
  // Room for p_i32Count units that the caller fills. Zero or too many: logged,
  // the string becomes empty, none.
  uint16_t *ExposeBufferForStringWrite(int32_t p_i32Count);

  const uint16_t *GetText() const { return c_pu16Text; }
  int32_t GetLength() const { return c_i32Length; }
  int32_t GetByteLength() const { return 2 * c_i32Length; }
  int32_t GetCapacity() const { return c_i32Capacity; }

private:
  void MakeEmpty();

  uint16_t c_au16Inline[c_i32InlineCapacity + 1];
  uint16_t *c_pu16Text;
  int32_t c_i32Capacity;
  int32_t c_i32Length;
};
