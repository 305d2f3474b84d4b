#pragma once
// The 8-bit text object of the system: names, log fragments, file names, text
// tokens. Texts up to 127 characters live inside the object; longer ones move to
// a heap block of exactly the size asked for. At most 100,000 characters.
// Also carries the word splitting and number parsing the text readers use.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_StringUnicode;

class KTX_StringAscii : public KTX_BaseClass {
public:
  static constexpr int32_t c_i32MaxLength = 100000;
  static constexpr int32_t c_i32InlineCapacity = 127;

  KTX_StringAscii();
  explicit KTX_StringAscii(const char *p_szText);
  ~KTX_StringAscii() override;

  // Makes room for p_i32Count characters besides the terminator.
  int32_t MakeRoomInBuffer(int32_t p_i32Count);
  int32_t Clear();

  KTX_StringAscii &Assign(const char *p_szText);
  KTX_StringAscii &Assign(const KTX_StringAscii &p_roText);
  int32_t AssignCounted(const char *p_szText, int32_t p_i32Count);

  int32_t Append(const char *p_szText);
  int32_t Append(const KTX_StringAscii &p_roText);
  // Chaining form: a failure leaves the string unchanged.
  KTX_StringAscii &AppendChar(char p_cChar);
  int32_t AppendCharCode(char p_cChar);
  // UTF-16 text, converted one unit at a time to UTF-8 ("?" where a unit has no form).
  int32_t AppendWide(const uint16_t *p_pu16Units, int32_t p_i32Count);
  // Defined beside KTX_StringUnicode (StringUnicode.cpp).
  int32_t AppendUnicode(const KTX_StringUnicode &p_roText);
  int32_t AppendHexBytes(const uint8_t *p_pu8Data, int32_t p_i32Count);
  void AppendHex8(uint32_t p_u32Value, bool p_bPad);
  void AppendHex16(uint32_t p_u32Value, bool p_bPad);
  void AppendHex32(uint32_t p_u32Value, bool p_bPad);
  void AppendDecimal(uint32_t p_u32Value, bool p_bPad);

  int32_t ParseInt();
  uint32_t ParseUint();
  uint32_t ParseHex() const;

  // This string becomes the next word of p_roSource, from its cursor on.
  int32_t NextWord(KTX_StringAscii &p_roSource, char p_cSeparator);
  // p_roSource's cursor to 0, then NextWord.
  int32_t FirstWord(KTX_StringAscii &p_roSource, char p_cSeparator);

  const char *GetText() const { return c_pszText; }
  int32_t GetLength() const { return c_i32Length; }
  int32_t GetCapacity() const { return c_i32Capacity; }
  int32_t GetCursor() const { return c_i32Cursor; }
  void SetCursor(int32_t p_i32Cursor) { c_i32Cursor = p_i32Cursor; }

private:
  void AppendDigits(const char *p_szDigitsReversed, int32_t p_i32Count);
  void AppendHex(uint32_t p_u32Value, int32_t p_i32PadDigits, bool p_bPad);

  char c_acInline[128];
  char *c_pszText;
  int32_t c_i32Capacity;
  int32_t c_i32Length;
  int32_t c_i32Cursor;
};

// Bytes before the first zero byte, at most p_i32Limit.
int32_t KTX_StrLenLimited(const char *p_szText, int32_t p_i32Limit);
// Units before the first zero unit, at most p_i32Limit.
int32_t KTX_WcsLenLimited(const uint16_t *p_pu16Text, int32_t p_i32Limit);
