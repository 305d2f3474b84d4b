#pragma once
// One token at a time of a token stream: an id and a string of value bytes.
// Builds the token from typed values, writes it to a buffer in the binary or
// the text encoding, reads the next one back, and writes and recognises the
// 33-byte token-file headers. A working tool: one object per file or transfer,
// usually on the stack.
//
// Binary encoding: the id and the value length as packed integers, then the
// value bytes. Text encoding: one line per token, "<indent><keyword> <[TYPE]>
// <values>" and CR LF, the keyword and value type taken from the keyword table.
// Numbers in values are big-endian, UTF-16 text little-endian.

#include "runtime/BaseClass.h"

#include <cstdint>
#include <string>
#include <vector>

class KTX_Buffer;
class KTX_DateTime;
class KTX_StringAscii;
class KTX_StringUnicode;
class KTX_Version;

// Token ids of the stream itself and of the file header. The configuration
// tree adds its own ids (7 and up) through KTX_BufferToken::SetKeywordExtension.
enum KTX_BufferTokenId : uint32_t {
  KTX_BTID_BEGIN = 1,
  KTX_BTID_END = 2,
  KTX_BTID_COMMENT = 3,
  KTX_BTID_VERSION_NUMBER = 4,
  KTX_BTID_VERSION_DATE = 5,
  KTX_BTID_FILE_DATE = 6,
};

// Value types; the text encoding spells each in square brackets.
enum KTX_BufferTokenType : uint32_t {
  KTX_BTT_END_OF_TABLE = 0, // "[??]"
  KTX_BTT_NONE = 1,         // "[]"
  KTX_BTT_I8 = 2,
  KTX_BTT_U8 = 3,
  KTX_BTT_H8 = 4,
  KTX_BTT_SZ8 = 5,
  KTX_BTT_I16 = 6,
  KTX_BTT_U16 = 7,
  KTX_BTT_H16 = 8,
  KTX_BTT_SZ16 = 9,
  KTX_BTT_ID = 10,
  KTX_BTT_DATE = 11,
  KTX_BTT_VER = 12,
  KTX_BTT_I32 = 13,
  KTX_BTT_U32 = 14,
};

// A row of the keyword table. Tables end with a row of id 0.
struct KTX_BufferTokenKeyword {
  uint32_t u32Id;
  uint32_t u32Type;
  const char *szKeyword; // at most 31 characters
};

class KTX_BufferToken : public KTX_BaseClass {
public:
  static constexpr uint32_t c_u32EncodingUnknown = 0;
  static constexpr uint32_t c_u32EncodingBinary = 1;
  static constexpr uint32_t c_u32EncodingText = 2;
  static constexpr uint32_t c_u32MaxValueLength = 1000000;
  static constexpr uint32_t c_u32InlineValueSize = 80;
  static constexpr uint32_t c_u32HeaderLength = 33;
  // A text line longer than any valid token's line (1,000,000 one-byte values
  // of up to three digits and a blank each, plus indent, keyword and type).
  static constexpr uint32_t c_u32MaxLineLength = 4 * c_u32MaxValueLength + 1024;

  KTX_BufferToken();
  ~KTX_BufferToken() override;

  // Setting the current token: each sets the id, replaces the value and returns
  // the object, so calls chain into WriteToken. A value longer than
  // c_u32MaxValueLength (or one that cannot be allocated) leaves an empty value
  // and makes the next WriteToken fail with KTX_RC_INVALID_PARAMETER
  // (KTX_RC_MALLOC_FAILED) without writing.
  KTX_BufferToken &SetEmpty(uint32_t p_u32Id);
  KTX_BufferToken &SetUint8(uint32_t p_u32Id, uint8_t p_u8Value);
  KTX_BufferToken &SetUint16(uint32_t p_u32Id, uint16_t p_u16Value);
  KTX_BufferToken &SetUint32(uint32_t p_u32Id, uint32_t p_u32Value);
  // Signed values are stored as their two's complement.
  KTX_BufferToken &SetUint32Array(uint32_t p_u32Id, uint32_t p_u32Count, const uint32_t *p_pu32Values);
  KTX_BufferToken &SetBytes(uint32_t p_u32Id, uint32_t p_u32Count, const uint8_t *p_pu8Data);
  // Both numbers in the smallest common width of 1 to 4 bytes.
  KTX_BufferToken &SetIdValue(uint32_t p_u32Id, uint32_t p_u32Type, uint32_t p_u32Index);
  // The 19-character text form.
  KTX_BufferToken &SetDate(uint32_t p_u32Id, const KTX_DateTime &p_roDate);
  // The 15-byte binary form and one byte 0.
  KTX_BufferToken &SetVersion(uint32_t p_u32Id, const KTX_Version &p_roVersion);
  // The characters without terminator; an absent string gives length 0.
  KTX_BufferToken &SetStringAscii(uint32_t p_u32Id, const KTX_StringAscii *p_poText);
  // The UTF-16 units, little-endian, without terminator.
  KTX_BufferToken &SetStringUnicode(uint32_t p_u32Id, const KTX_StringUnicode *p_poText);

  // Reading the current token; each typed getter checks the value length and
  // returns KTX_RC_INVALID_PARAMETER when it differs.
  int32_t GetId(uint32_t *p_pu32Id) const;
  int32_t GetUint8(uint8_t *p_pu8Value) const;
  int32_t GetUint16(uint32_t *p_pu32Id, uint16_t *p_pu16Value) const;
  int32_t GetUint32(uint32_t *p_pu32Value) const;
  int32_t GetUint32Array(uint32_t p_u32Count, uint32_t *p_pu32Values) const;
  int32_t GetBytes(uint32_t p_u32Count, uint8_t *p_pu8Destination) const;
  // The current token must be a "Begin" (else KTX_RC_OPERATION_FAILED) with a
  // value of 2, 4, 6 or 8 bytes (else KTX_RC_INVALID_PARAMETER). p_pu32Id, when
  // given, receives the current id either way.
  int32_t GetIdValue(uint32_t *p_pu32Id, uint32_t *p_pu32Type, uint32_t *p_pu32Index) const;
  // A DATE value (19 bytes) read as a date-time's text form.
  int32_t GetDate(KTX_DateTime *p_poDate) const;
  // A VER value (at least 15 bytes) read as a version's binary form.
  int32_t GetVersion(KTX_Version *p_poVersion) const;
  // The value bytes (up to the first zero byte) as narrow text.
  int32_t GetStringAscii(KTX_StringAscii *p_poText) const;
  // The value as little-endian UTF-16 units; an odd length is refused.
  int32_t GetStringUnicode(KTX_StringUnicode *p_poText) const;
  // The value bytes themselves, for the string types.
  const uint8_t *GetValue() const { return c_pu8Value; }
  uint32_t GetLength() const { return c_u32Length; }

  // Nesting: three blanks of indent per level in the text encoding; a level
  // above 20 is brought into 11..20 by taking away 10 as often as needed.
  uint32_t GetIndent() const { return c_u32NestingLevel; }
  void SetIndent(uint32_t p_u32Level);

  uint32_t GetReadEncoding() const { return c_u32ReadEncoding; }
  uint32_t GetWriteEncoding() const { return c_u32WriteEncoding; }
  void SetWriteEncoding(uint32_t p_u32Encoding) { c_u32WriteEncoding = p_u32Encoding; }

  // Appends the current token in the write encoding. Text: an id without a
  // keyword, or a value the keyword's type cannot spell, gives
  // KTX_RC_INVALID_PARAMETER and writes nothing.
  int32_t WriteToken(KTX_Buffer *p_poBuffer);
  // Reads the next token in the read encoding (set by ReadHeader).
  int32_t ReadToken(KTX_Buffer *p_poBuffer);
  // The 33 bytes naming the write encoding, then "VersionNumber",
  // "VersionDate" (the version's build time) and "FileDate". Returns the first
  // failure of a write.
  int32_t WriteHeader(KTX_Buffer *p_poBuffer, const KTX_Version &p_roVersion, const KTX_DateTime &p_roFileDate);
  // Recognises the encoding from the first 33 bytes and reads the three header
  // tokens (ids 4, 5, 6 in this order); otherwise KTX_RC_OPERATION_FAILED and
  // the read encoding stays unknown.
  int32_t ReadHeader(KTX_Buffer *p_poBuffer);

  // Keyword table: the rows for ids 1 to 6, then the rows installed here (the
  // configuration tree's ids). p_poRows ends with a row of id 0 and must stay
  // valid while tokens are used; nullptr removes the extension.
  static void SetKeywordExtension(const KTX_BufferTokenKeyword *p_poRows);
  static const KTX_BufferTokenKeyword *FindKeyword(uint32_t p_u32Id);
  static const KTX_BufferTokenKeyword *FindKeyword(const char *p_pcWord, uint32_t p_u32Length);
  // "[U8]" and so on; nullptr for a type without a row (code 0 included).
  static const char *GetTypeSpelling(uint32_t p_u32Type);
  // Configuration type names of ID values: 1 "Device" .. 8 "Snapshot"; nullptr otherwise.
  static const char *GetConfigTypeName(uint32_t p_u32ConfigType);

  static const char *const c_szBinaryHeader;
  static const char *const c_szTextHeader;

private:
  // Makes room for p_u32Length value bytes (contents undefined) and sets the length.
  int32_t ReserveValue(uint32_t p_u32Length);
  KTX_BufferToken &SetValue(uint32_t p_u32Id, const uint8_t *p_pu8Data, uint32_t p_u32Length);
  int32_t WriteBinary(KTX_Buffer *p_poBuffer);
  int32_t WriteText(KTX_Buffer *p_poBuffer);
  int32_t ReadBinary(KTX_Buffer *p_poBuffer);
  int32_t ReadText(KTX_Buffer *p_poBuffer);
  int32_t ReadLine(KTX_Buffer *p_poBuffer);
  int32_t ParseTextValue(uint32_t p_u32Type, size_t p_uPos, size_t p_uRestStart);

  uint32_t c_u32Id;
  uint8_t c_au8Inline[c_u32InlineValueSize];
  uint8_t *c_pu8Value;
  uint32_t c_u32Capacity;
  uint32_t c_u32Length;
  int32_t c_i32SetError;
  uint32_t c_u32ReadEncoding;
  uint32_t c_u32WriteEncoding;
  uint32_t c_u32NestingLevel;
  std::string c_strIndent;
  std::string c_strLine;
  std::vector<uint8_t> c_oScratch;
};
