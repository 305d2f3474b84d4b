#include "runtime/StringAscii.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <cstdlib>
#include <cstring>

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int32_t HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
} // namespace

int32_t KTX_StrLenLimited(const char *p_szText, int32_t p_i32Limit) {
  if (p_szText == nullptr || p_i32Limit <= 0) {
    return 0;
  }
  return static_cast<int32_t>(strnlen(p_szText, static_cast<size_t>(p_i32Limit)));
}

int32_t KTX_WcsLenLimited(const uint16_t *p_pu16Text, int32_t p_i32Limit) {
  if (p_pu16Text == nullptr) {
    return 0;
  }
  int32_t n = 0;
  while (n < p_i32Limit && p_pu16Text[n] != 0) {
    ++n;
  }
  return n;
}

KTX_StringAscii::KTX_StringAscii()
    : KTX_BaseClass(KTX_BASE_CLASS_STRING_ASCII), c_acInline{}, c_pszText(c_acInline),
      c_i32Capacity(c_i32InlineCapacity), c_i32Length(0), c_i32Cursor(0) {}

KTX_StringAscii::KTX_StringAscii(const char *p_szText) : KTX_StringAscii() { Append(p_szText); }

KTX_StringAscii::~KTX_StringAscii() {
  if (c_pszText != c_acInline) {
    std::free(c_pszText);
  }
}

int32_t KTX_StringAscii::MakeRoomInBuffer(int32_t p_i32Count) {
  if (p_i32Count < 0 || p_i32Count > c_i32MaxLength) {
    KTX_LOG(KTX_ASSERT, "KTX_StringAscii::MakeRoomInBuffer -- Invalid ByteCount");
    c_i32Length = 0;
    c_pszText[0] = '\0';
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_i32Count <= c_i32Capacity) {
    return KTX_RC_OK;
  }
  char *block = static_cast<char *>(std::calloc(static_cast<size_t>(p_i32Count) + 2, 1));
  std::memcpy(block, c_pszText, static_cast<size_t>(c_i32Length));
  if (c_pszText != c_acInline) {
    std::free(c_pszText);
  }
  c_pszText = block;
  c_i32Capacity = p_i32Count;
  return KTX_RC_OK;
}

int32_t KTX_StringAscii::Clear() {
  std::memset(c_pszText, 0, static_cast<size_t>(c_i32Capacity) + 1);
  c_i32Length = 0;
  c_i32Cursor = 0;
  return KTX_RC_OK;
}

KTX_StringAscii &KTX_StringAscii::Assign(const char *p_szText) {
  Clear();
  Append(p_szText);
  return *this;
}

KTX_StringAscii &KTX_StringAscii::Assign(const KTX_StringAscii &p_roText) {
  if (&p_roText != this) {
    Clear();
    Append(p_roText);
  }
  return *this;
}

int32_t KTX_StringAscii::AssignCounted(const char *p_szText, int32_t p_i32Count) {
  Clear();
  const int32_t n = KTX_StrLenLimited(p_szText, p_i32Count);
  const int32_t rc = MakeRoomInBuffer(n);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  std::memcpy(c_pszText, p_szText, static_cast<size_t>(n));
  c_i32Length = n;
  c_pszText[n] = '\0';
  return KTX_RC_OK;
}

int32_t KTX_StringAscii::Append(const char *p_szText) {
  if (p_szText == nullptr) {
    return KTX_RC_OK;
  }
  // Count one past the limit so that an oversized text is refused, not cut.
  const int32_t n = KTX_StrLenLimited(p_szText, c_i32MaxLength + 1);
  const int32_t rc = MakeRoomInBuffer(c_i32Length + n);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  std::memmove(c_pszText + c_i32Length, p_szText, static_cast<size_t>(n));
  c_i32Length += n;
  c_pszText[c_i32Length] = '\0';
  return KTX_RC_OK;
}

int32_t KTX_StringAscii::Append(const KTX_StringAscii &p_roText) {
  const int32_t n = p_roText.c_i32Length;
  const int32_t rc = MakeRoomInBuffer(c_i32Length + n);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  // Appending a string to itself: the source may have moved in MakeRoomInBuffer.
  std::memmove(c_pszText + c_i32Length, p_roText.c_pszText, static_cast<size_t>(n));
  c_i32Length += n;
  c_pszText[c_i32Length] = '\0';
  return KTX_RC_OK;
}

KTX_StringAscii &KTX_StringAscii::AppendChar(char p_cChar) {
  if (c_i32Length + 1 > c_i32MaxLength) {
    KTX_LOG(KTX_ASSERT, "KTX_StringAscii::MakeRoomInBuffer -- Invalid ByteCount");
    return *this;
  }
  AppendCharCode(p_cChar);
  return *this;
}

int32_t KTX_StringAscii::AppendCharCode(char p_cChar) {
  const int32_t rc = MakeRoomInBuffer(c_i32Length + 1);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  c_pszText[c_i32Length++] = p_cChar;
  c_pszText[c_i32Length] = '\0';
  return KTX_RC_OK;
}

int32_t KTX_StringAscii::AppendWide(const uint16_t *p_pu16Units, int32_t p_i32Count) {
  const int32_t n = KTX_WcsLenLimited(p_pu16Units, p_i32Count);
  // Wide text becomes UTF-8. A valid surrogate pair becomes one four-byte
  // character; a unit that has no form on its own (a lone surrogate) becomes "?".
  char *out = static_cast<char *>(std::malloc(static_cast<size_t>(n) * 3 + 1));
  int32_t bytes = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t u = p_pu16Units[i];
    if (u < 0x80) {
      out[bytes++] = static_cast<char>(u);
    } else if (u < 0x800) {
      out[bytes++] = static_cast<char>(0xC0 | (u >> 6));
      out[bytes++] = static_cast<char>(0x80 | (u & 0x3F));
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && p_pu16Units[i + 1] >= 0xDC00 &&
               p_pu16Units[i + 1] <= 0xDFFF) {
      const uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (p_pu16Units[i + 1] - 0xDC00u);
      out[bytes++] = static_cast<char>(0xF0 | (cp >> 18));
      out[bytes++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out[bytes++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out[bytes++] = static_cast<char>(0x80 | (cp & 0x3F));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out[bytes++] = '?';
    } else {
      out[bytes++] = static_cast<char>(0xE0 | (u >> 12));
      out[bytes++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out[bytes++] = static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  const int32_t rc = MakeRoomInBuffer(c_i32Length + bytes);
  if (rc == KTX_RC_OK) {
    std::memcpy(c_pszText + c_i32Length, out, static_cast<size_t>(bytes));
    c_i32Length += bytes;
    c_pszText[c_i32Length] = '\0';
  }
  std::free(out);
  return rc;
}

int32_t KTX_StringAscii::AppendHexBytes(const uint8_t *p_pu8Data, int32_t p_i32Count) {
  if (p_i32Count <= 0 || p_pu8Data == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_i32Count > c_i32MaxLength / 2) {
    return MakeRoomInBuffer(c_i32MaxLength + 1);
  }
  const int32_t rc = MakeRoomInBuffer(c_i32Length + 2 * p_i32Count);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  for (int32_t i = 0; i < p_i32Count; ++i) {
    c_pszText[c_i32Length++] = kHexDigits[p_pu8Data[i] >> 4];
    c_pszText[c_i32Length++] = kHexDigits[p_pu8Data[i] & 0x0F];
  }
  c_pszText[c_i32Length] = '\0';
  return KTX_RC_OK;
}

void KTX_StringAscii::AppendDigits(const char *p_szDigitsReversed, int32_t p_i32Count) {
  if (MakeRoomInBuffer(c_i32Length + p_i32Count) != KTX_RC_OK) {
    return;
  }
  for (int32_t i = p_i32Count - 1; i >= 0; --i) {
    c_pszText[c_i32Length++] = p_szDigitsReversed[i];
  }
  c_pszText[c_i32Length] = '\0';
}

void KTX_StringAscii::AppendHex(uint32_t p_u32Value, int32_t p_i32PadDigits, bool p_bPad) {
  char digits[16];
  int32_t count = 0;
  do {
    digits[count++] = kHexDigits[p_u32Value & 0x0F];
    p_u32Value >>= 4;
  } while (p_u32Value != 0);
  while (p_bPad && count < p_i32PadDigits) {
    digits[count++] = '0';
  }
  AppendDigits(digits, count);
}

void KTX_StringAscii::AppendHex8(uint32_t p_u32Value, bool p_bPad) { AppendHex(p_u32Value & 0xFFu, 2, p_bPad); }

void KTX_StringAscii::AppendHex16(uint32_t p_u32Value, bool p_bPad) { AppendHex(p_u32Value & 0xFFFFu, 4, p_bPad); }

void KTX_StringAscii::AppendHex32(uint32_t p_u32Value, bool p_bPad) { AppendHex(p_u32Value, 8, p_bPad); }

void KTX_StringAscii::AppendDecimal(uint32_t p_u32Value, bool p_bPad) {
  char digits[16];
  int32_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + p_u32Value % 10);
    p_u32Value /= 10;
  } while (p_u32Value != 0);
  while (p_bPad && count < 10) {
    digits[count++] = '0';
  }
  AppendDigits(digits, count);
}

int32_t KTX_StringAscii::ParseInt() {
  c_i32Cursor = 0;
  bool negative = false;
  if (c_i32Length > 0 && c_pszText[0] == '-') {
    negative = true;
    c_i32Cursor = 1;
  }
  uint32_t value = 0;
  while (c_i32Cursor < c_i32Length && IsDigit(c_pszText[c_i32Cursor])) {
    value = value * 10u + static_cast<uint32_t>(c_pszText[c_i32Cursor] - '0');
    ++c_i32Cursor;
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

uint32_t KTX_StringAscii::ParseUint() {
  c_i32Cursor = 0;
  uint32_t value = 0;
  while (c_i32Cursor < c_i32Length && IsDigit(c_pszText[c_i32Cursor])) {
    value = value * 10u + static_cast<uint32_t>(c_pszText[c_i32Cursor] - '0');
    ++c_i32Cursor;
  }
  return value;
}

uint32_t KTX_StringAscii::ParseHex() const {
  const int32_t n = c_i32Length < 8 ? c_i32Length : 8;
  uint32_t value = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t digit = HexValue(c_pszText[i]);
    if (digit < 0) {
      return 0;
    }
    value = value * 16u + static_cast<uint32_t>(digit);
  }
  return value;
}

int32_t KTX_StringAscii::NextWord(KTX_StringAscii &p_roSource, char p_cSeparator) {
  Clear();
  const char *text = p_roSource.c_pszText;
  const int32_t length = p_roSource.c_i32Length;
  int32_t pos = p_roSource.c_i32Cursor;
  if (pos < 0) {
    pos = 0;
  }
  auto skippable = [p_cSeparator](char c) { return c == p_cSeparator || c == 7 || c == 10 || c == 13 || c == 32; };
  while (pos < length && skippable(text[pos])) {
    ++pos;
  }
  const int32_t start = pos;
  while (pos < length && text[pos] != p_cSeparator && text[pos] != 7 && text[pos] != 32) {
    ++pos;
  }
  const int32_t wordLength = pos - start;
  if (pos < length) {
    ++pos; // the terminating separator is consumed
  }
  int32_t rc = MakeRoomInBuffer(wordLength);
  if (rc == KTX_RC_OK) {
    std::memcpy(c_pszText, text + start, static_cast<size_t>(wordLength));
    c_i32Length = wordLength;
    c_pszText[wordLength] = '\0';
  }
  p_roSource.c_i32Cursor = pos > length ? length : pos;
  return rc;
}

int32_t KTX_StringAscii::FirstWord(KTX_StringAscii &p_roSource, char p_cSeparator) {
  p_roSource.c_i32Cursor = 0;
  return NextWord(p_roSource, p_cSeparator);
}
