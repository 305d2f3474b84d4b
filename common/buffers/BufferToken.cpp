#include "buffers/BufferToken.h"

#include "buffers/Buffer.h"
#include "runtime/DateTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"
#include "runtime/StringUnicode.h"
#include "runtime/Version.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

const char *const KTX_BufferToken::c_szBinaryHeader = "Tarnvel, Inc. Binary Token File..";
const char *const KTX_BufferToken::c_szTextHeader = "Tarnvel, Inc. Ascii Token File.\r\n";

namespace {

const KTX_BufferTokenKeyword k_aoBaseKeywords[] = {
    {KTX_BTID_BEGIN, KTX_BTT_ID, "Begin"},
    {KTX_BTID_END, KTX_BTT_NONE, "End"},
    {KTX_BTID_COMMENT, KTX_BTT_U8, "Comment"},
    {KTX_BTID_VERSION_NUMBER, KTX_BTT_VER, "VersionNumber"},
    {KTX_BTID_VERSION_DATE, KTX_BTT_DATE, "VersionDate"},
    {KTX_BTID_FILE_DATE, KTX_BTT_DATE, "FileDate"},
    {0, KTX_BTT_NONE, "Unknown"},
};

std::atomic<const KTX_BufferTokenKeyword *> g_poKeywordExtension{nullptr};

struct TypeRow {
  uint32_t u32Type;
  const char *szSpelling;
};

// Searched in this order; the row for code 0 ends the table.
const TypeRow k_aoTypes[] = {
    {KTX_BTT_NONE, "[]"},   {KTX_BTT_U8, "[U8]"},     {KTX_BTT_I8, "[I8]"},     {KTX_BTT_H8, "[H8]"},
    {KTX_BTT_SZ8, "[SZ8]"}, {KTX_BTT_U16, "[U16]"},   {KTX_BTT_I16, "[I16]"},   {KTX_BTT_H16, "[H16]"},
    {KTX_BTT_SZ16, "[SZ16]"}, {KTX_BTT_ID, "[ID]"},   {KTX_BTT_DATE, "[DATE]"}, {KTX_BTT_VER, "[VER]"},
    {KTX_BTT_I32, "[I32]"}, {KTX_BTT_U32, "[U32]"},   {KTX_BTT_END_OF_TABLE, "[??]"},
};

struct ConfigTypeRow {
  uint32_t u32Type;
  const char *szName;
};

const ConfigTypeRow k_aoConfigTypes[] = {
    {1, "Device"}, {2, "Communications"}, {3, "Sensor"}, {4, "Camera"}, {5, "Calibration"},
    {6, "Video"},  {7, "Detection"},      {8, "Snapshot"}, {0, "Unknown"},
};

bool WordEquals(const char *p_pcWord, uint32_t p_u32Length, const char *p_szText) {
  return std::strlen(p_szText) == p_u32Length && std::memcmp(p_pcWord, p_szText, p_u32Length) == 0;
}

uint32_t ReadBe(const uint8_t *p, uint32_t p_u32Width) {
  uint32_t u32Value = 0;
  for (uint32_t i = 0; i < p_u32Width; ++i) {
    u32Value = (u32Value << 8) | p[i];
  }
  return u32Value;
}

void AppendBe(std::vector<uint8_t> &p_roOut, uint32_t p_u32Value, uint32_t p_u32Width) {
  for (uint32_t i = p_u32Width; i-- > 0;) {
    p_roOut.push_back(static_cast<uint8_t>(p_u32Value >> (8 * i)));
  }
}

void AppendDecimal(std::string &p_roLine, uint32_t p_u32Value) {
  char acDigits[12];
  std::snprintf(acDigits, sizeof acDigits, "%u", p_u32Value);
  p_roLine += acDigits;
}

int HexDigit(char p_cChar, bool p_bLowerCase) {
  if (p_cChar >= '0' && p_cChar <= '9') {
    return p_cChar - '0';
  }
  if (p_cChar >= 'A' && p_cChar <= 'F') {
    return p_cChar - 'A' + 10;
  }
  if (p_bLowerCase && p_cChar >= 'a' && p_cChar <= 'f') {
    return p_cChar - 'a' + 10;
  }
  return -1;
}

bool IsWordGap(char p_cChar) { return p_cChar == ' ' || p_cChar == 7 || p_cChar == '\r' || p_cChar == '\n'; }

// Splits a line into words: a word starts after any run of blanks, BEL, CR and
// LF and ends at the next blank or BEL, which is consumed. Tabs are ordinary.
struct WordCursor {
  const std::string &roLine;
  size_t uPos;

  // The next word as [uStart, uStart + uLength); empty at the end of the line.
  void Next(size_t &p_ruStart, size_t &p_ruLength) {
    while (uPos < roLine.size() && IsWordGap(roLine[uPos])) {
      ++uPos;
    }
    p_ruStart = uPos;
    while (uPos < roLine.size() && roLine[uPos] != ' ' && roLine[uPos] != 7) {
      ++uPos;
    }
    p_ruLength = uPos - p_ruStart;
    if (uPos < roLine.size()) {
      ++uPos; // the terminating blank or BEL
    }
  }
};

// Digits up to the first other character, 32-bit wrapping; no digits give 0.
uint32_t ParseDecimal(const char *p, size_t n) {
  uint32_t u32Value = 0;
  for (size_t i = 0; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
    u32Value = u32Value * 10u + static_cast<uint32_t>(p[i] - '0');
  }
  return u32Value;
}

// Up to 8 hexadecimal digits of either case; any other character gives 0.
uint32_t ParseHexWord(const char *p, size_t n) {
  uint32_t u32Value = 0;
  for (size_t i = 0; i < n && i < 8; ++i) {
    const int iDigit = HexDigit(p[i], true);
    if (iDigit < 0) {
      return 0;
    }
    u32Value = u32Value * 16u + static_cast<uint32_t>(iDigit);
  }
  return u32Value;
}

} // namespace

KTX_BufferToken::KTX_BufferToken()
    : KTX_BaseClass(KTX_BASE_CLASS_BUFFER_TOKEN), c_u32Id(0), c_au8Inline{}, c_pu8Value(c_au8Inline),
      c_u32Capacity(c_u32InlineValueSize), c_u32Length(0), c_i32SetError(KTX_RC_OK),
      c_u32ReadEncoding(c_u32EncodingUnknown), c_u32WriteEncoding(c_u32EncodingBinary), c_u32NestingLevel(0) {}

KTX_BufferToken::~KTX_BufferToken() {
  if (c_pu8Value != c_au8Inline) {
    delete[] c_pu8Value;
  }
}

// ---- keyword, type and configuration type tables

void KTX_BufferToken::SetKeywordExtension(const KTX_BufferTokenKeyword *p_poRows) {
  g_poKeywordExtension.store(p_poRows, std::memory_order_release);
}

const KTX_BufferTokenKeyword *KTX_BufferToken::FindKeyword(uint32_t p_u32Id) {
  if (p_u32Id == 0) {
    return nullptr;
  }
  for (const KTX_BufferTokenKeyword *po = k_aoBaseKeywords; po->u32Id != 0; ++po) {
    if (po->u32Id == p_u32Id) {
      return po;
    }
  }
  const KTX_BufferTokenKeyword *poExtension = g_poKeywordExtension.load(std::memory_order_acquire);
  for (const KTX_BufferTokenKeyword *po = poExtension; po != nullptr && po->u32Id != 0; ++po) {
    if (po->u32Id == p_u32Id) {
      return po;
    }
  }
  return nullptr;
}

const KTX_BufferTokenKeyword *KTX_BufferToken::FindKeyword(const char *p_pcWord, uint32_t p_u32Length) {
  if (p_pcWord == nullptr) {
    return nullptr;
  }
  for (const KTX_BufferTokenKeyword *po = k_aoBaseKeywords; po->u32Id != 0; ++po) {
    if (WordEquals(p_pcWord, p_u32Length, po->szKeyword)) {
      return po;
    }
  }
  const KTX_BufferTokenKeyword *poExtension = g_poKeywordExtension.load(std::memory_order_acquire);
  for (const KTX_BufferTokenKeyword *po = poExtension; po != nullptr && po->u32Id != 0; ++po) {
    if (po->szKeyword != nullptr && WordEquals(p_pcWord, p_u32Length, po->szKeyword)) {
      return po;
    }
  }
  return nullptr;
}

const char *KTX_BufferToken::GetTypeSpelling(uint32_t p_u32Type) {
  for (const TypeRow &ro : k_aoTypes) {
    if (ro.u32Type == KTX_BTT_END_OF_TABLE) {
      break;
    }
    if (ro.u32Type == p_u32Type) {
      return ro.szSpelling;
    }
  }
  return nullptr;
}

const char *KTX_BufferToken::GetConfigTypeName(uint32_t p_u32ConfigType) {
  for (const ConfigTypeRow &ro : k_aoConfigTypes) {
    if (ro.u32Type == 0) {
      break;
    }
    if (ro.u32Type == p_u32ConfigType) {
      return ro.szName;
    }
  }
  return nullptr;
}

// ---- value storage and setters

int32_t KTX_BufferToken::ReserveValue(uint32_t p_u32Length) {
  if (p_u32Length > c_u32MaxValueLength) {
    c_u32Length = 0;
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_u32Length > c_u32Capacity) {
    // One block that only grows, with room to spare for the next value.
    uint8_t *pu8Block = new (std::nothrow) uint8_t[p_u32Length + 256];
    if (pu8Block == nullptr) {
      c_u32Length = 0;
      return KTX_RC_MALLOC_FAILED;
    }
    if (c_pu8Value != c_au8Inline) {
      delete[] c_pu8Value;
    }
    c_pu8Value = pu8Block;
    c_u32Capacity = p_u32Length + 256;
  }
  c_u32Length = p_u32Length;
  return KTX_RC_OK;
}

KTX_BufferToken &KTX_BufferToken::SetValue(uint32_t p_u32Id, const uint8_t *p_pu8Data, uint32_t p_u32Length) {
  c_u32Id = p_u32Id;
  c_i32SetError = ReserveValue(p_u32Length);
  if (c_i32SetError == KTX_RC_OK && p_u32Length > 0) {
    std::memmove(c_pu8Value, p_pu8Data, p_u32Length);
  }
  return *this;
}

KTX_BufferToken &KTX_BufferToken::SetEmpty(uint32_t p_u32Id) { return SetValue(p_u32Id, nullptr, 0); }

KTX_BufferToken &KTX_BufferToken::SetUint8(uint32_t p_u32Id, uint8_t p_u8Value) {
  return SetValue(p_u32Id, &p_u8Value, 1);
}

KTX_BufferToken &KTX_BufferToken::SetUint16(uint32_t p_u32Id, uint16_t p_u16Value) {
  const uint8_t au8[2] = {static_cast<uint8_t>(p_u16Value >> 8), static_cast<uint8_t>(p_u16Value)};
  return SetValue(p_u32Id, au8, 2);
}

KTX_BufferToken &KTX_BufferToken::SetUint32(uint32_t p_u32Id, uint32_t p_u32Value) {
  return SetUint32Array(p_u32Id, 1, &p_u32Value);
}

KTX_BufferToken &KTX_BufferToken::SetUint32Array(uint32_t p_u32Id, uint32_t p_u32Count, const uint32_t *p_pu32Values) {
  c_u32Id = p_u32Id;
  if (p_pu32Values == nullptr) {
    p_u32Count = 0;
  }
  if (static_cast<uint64_t>(p_u32Count) * 4 > c_u32MaxValueLength) {
    c_i32SetError = ReserveValue(c_u32MaxValueLength + 1);
    return *this;
  }
  c_i32SetError = ReserveValue(p_u32Count * 4);
  if (c_i32SetError == KTX_RC_OK) {
    for (uint32_t i = 0; i < p_u32Count; ++i) {
      const uint32_t u32Value = p_pu32Values[i];
      c_pu8Value[4 * i] = static_cast<uint8_t>(u32Value >> 24);
      c_pu8Value[4 * i + 1] = static_cast<uint8_t>(u32Value >> 16);
      c_pu8Value[4 * i + 2] = static_cast<uint8_t>(u32Value >> 8);
      c_pu8Value[4 * i + 3] = static_cast<uint8_t>(u32Value);
    }
  }
  return *this;
}

KTX_BufferToken &KTX_BufferToken::SetBytes(uint32_t p_u32Id, uint32_t p_u32Count, const uint8_t *p_pu8Data) {
  return SetValue(p_u32Id, p_pu8Data, p_pu8Data != nullptr ? p_u32Count : 0);
}

KTX_BufferToken &KTX_BufferToken::SetIdValue(uint32_t p_u32Id, uint32_t p_u32Type, uint32_t p_u32Index) {
  const uint32_t u32Larger = p_u32Type > p_u32Index ? p_u32Type : p_u32Index;
  const uint32_t u32Width = u32Larger < 0x100 ? 1 : u32Larger < 0x10000 ? 2 : u32Larger < 0x1000000 ? 3 : 4;
  uint8_t au8[8];
  for (uint32_t i = 0; i < u32Width; ++i) {
    au8[i] = static_cast<uint8_t>(p_u32Type >> (8 * (u32Width - 1 - i)));
    au8[u32Width + i] = static_cast<uint8_t>(p_u32Index >> (8 * (u32Width - 1 - i)));
  }
  return SetValue(p_u32Id, au8, 2 * u32Width);
}

KTX_BufferToken &KTX_BufferToken::SetDate(uint32_t p_u32Id, const KTX_DateTime &p_roDate) {
  char acText[KTX_DateTime::c_i32TextLength + 1];
  p_roDate.ToText(acText, sizeof acText);
  return SetValue(p_u32Id, reinterpret_cast<const uint8_t *>(acText), KTX_DateTime::c_i32TextLength);
}

KTX_BufferToken &KTX_BufferToken::SetVersion(uint32_t p_u32Id, const KTX_Version &p_roVersion) {
  uint8_t au8[KTX_Version::c_i32BinaryLength + 1] = {};
  p_roVersion.ToBinary(au8);
  return SetValue(p_u32Id, au8, sizeof au8);
}

KTX_BufferToken &KTX_BufferToken::SetStringAscii(uint32_t p_u32Id, const KTX_StringAscii *p_poText) {
  if (p_poText == nullptr || p_poText->GetLength() <= 0) {
    return SetValue(p_u32Id, nullptr, 0);
  }
  return SetValue(p_u32Id, reinterpret_cast<const uint8_t *>(p_poText->GetText()),
                  static_cast<uint32_t>(p_poText->GetLength()));
}

KTX_BufferToken &KTX_BufferToken::SetStringUnicode(uint32_t p_u32Id, const KTX_StringUnicode *p_poText) {
  c_u32Id = p_u32Id;
  const uint32_t u32Units = p_poText != nullptr && p_poText->GetLength() > 0 ? static_cast<uint32_t>(p_poText->GetLength()) : 0;
  c_i32SetError = ReserveValue(2 * u32Units);
  if (c_i32SetError == KTX_RC_OK) {
    const uint16_t *pu16 = u32Units > 0 ? p_poText->GetText() : nullptr;
    for (uint32_t i = 0; i < u32Units; ++i) {
      c_pu8Value[2 * i] = static_cast<uint8_t>(pu16[i]);
      c_pu8Value[2 * i + 1] = static_cast<uint8_t>(pu16[i] >> 8);
    }
  }
  return *this;
}

// ---- getters

int32_t KTX_BufferToken::GetId(uint32_t *p_pu32Id) const {
  if (p_pu32Id != nullptr) {
    *p_pu32Id = c_u32Id;
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetUint8(uint8_t *p_pu8Value) const {
  if (p_pu8Value == nullptr || c_u32Length != 1) {
    return KTX_RC_INVALID_PARAMETER;
  }
  *p_pu8Value = c_pu8Value[0];
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetUint16(uint32_t *p_pu32Id, uint16_t *p_pu16Value) const {
  if (p_pu32Id != nullptr) {
    *p_pu32Id = c_u32Id;
  }
  if (p_pu16Value == nullptr || c_u32Length != 2) {
    return KTX_RC_INVALID_PARAMETER;
  }
  *p_pu16Value = static_cast<uint16_t>(ReadBe(c_pu8Value, 2));
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetUint32(uint32_t *p_pu32Value) const { return GetUint32Array(1, p_pu32Value); }

int32_t KTX_BufferToken::GetUint32Array(uint32_t p_u32Count, uint32_t *p_pu32Values) const {
  if (p_pu32Values == nullptr || static_cast<uint64_t>(p_u32Count) * 4 != c_u32Length) {
    return KTX_RC_INVALID_PARAMETER;
  }
  for (uint32_t i = 0; i < p_u32Count; ++i) {
    p_pu32Values[i] = ReadBe(c_pu8Value + 4 * i, 4);
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetBytes(uint32_t p_u32Count, uint8_t *p_pu8Destination) const {
  if (p_u32Count != c_u32Length || (p_pu8Destination == nullptr && p_u32Count > 0)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_u32Count > 0) {
    std::memcpy(p_pu8Destination, c_pu8Value, p_u32Count);
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetIdValue(uint32_t *p_pu32Id, uint32_t *p_pu32Type, uint32_t *p_pu32Index) const {
  if (p_pu32Id != nullptr) {
    *p_pu32Id = c_u32Id;
  }
  if (c_u32Id != KTX_BTID_BEGIN) {
    return KTX_RC_OPERATION_FAILED;
  }
  if (c_u32Length != 2 && c_u32Length != 4 && c_u32Length != 6 && c_u32Length != 8) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Width = c_u32Length / 2;
  if (p_pu32Type != nullptr) {
    *p_pu32Type = ReadBe(c_pu8Value, u32Width);
  }
  if (p_pu32Index != nullptr) {
    *p_pu32Index = ReadBe(c_pu8Value + u32Width, u32Width);
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetDate(KTX_DateTime *p_poDate) const {
  if (p_poDate == nullptr || c_u32Length != KTX_DateTime::c_i32TextLength) {
    return KTX_RC_INVALID_PARAMETER;
  }
  p_poDate->FromText(reinterpret_cast<const char *>(c_pu8Value), KTX_DateTime::c_i32TextLength);
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::GetVersion(KTX_Version *p_poVersion) const {
  if (p_poVersion == nullptr || c_u32Length < static_cast<uint32_t>(KTX_Version::c_i32BinaryLength)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return p_poVersion->FromBinary(c_pu8Value, KTX_Version::c_i32BinaryLength);
}

int32_t KTX_BufferToken::GetStringAscii(KTX_StringAscii *p_poText) const {
  if (p_poText == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  p_poText->Clear();
  if (c_u32Length == 0) {
    return KTX_RC_OK;
  }
  if (c_u32Length > static_cast<uint32_t>(KTX_StringAscii::c_i32MaxLength)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return p_poText->AssignCounted(reinterpret_cast<const char *>(c_pu8Value), static_cast<int32_t>(c_u32Length));
}

int32_t KTX_BufferToken::GetStringUnicode(KTX_StringUnicode *p_poText) const {
  if (p_poText == nullptr || c_u32Length % 2 != 0) {
    return KTX_RC_INVALID_PARAMETER;
  }
  p_poText->Clear();
  const int32_t i32Units = static_cast<int32_t>(c_u32Length / 2);
  if (i32Units == 0) {
    return KTX_RC_OK;
  }
  uint16_t *pu16 = p_poText->ExposeBufferForStringWrite(i32Units);
  if (pu16 == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  for (int32_t i = 0; i < i32Units; ++i) {
    pu16[i] = static_cast<uint16_t>(c_pu8Value[2 * i] | (c_pu8Value[2 * i + 1] << 8));
  }
  return KTX_RC_OK;
}

// ---- nesting

void KTX_BufferToken::SetIndent(uint32_t p_u32Level) {
  c_u32NestingLevel = p_u32Level;
  uint32_t u32Shown = p_u32Level;
  if (u32Shown > 20) {
    u32Shown = 11 + (u32Shown - 11) % 10;
  }
  c_strIndent.assign(3 * static_cast<size_t>(u32Shown), ' ');
}

// ---- writing

int32_t KTX_BufferToken::WriteToken(KTX_Buffer *p_poBuffer) {
  if (c_u32WriteEncoding != c_u32EncodingBinary && c_u32WriteEncoding != c_u32EncodingText) {
    return KTX_RC_INTERNAL_ERROR;
  }
  if (p_poBuffer == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (c_i32SetError != KTX_RC_OK) {
    return c_i32SetError;
  }
  return c_u32WriteEncoding == c_u32EncodingBinary ? WriteBinary(p_poBuffer) : WriteText(p_poBuffer);
}

int32_t KTX_BufferToken::WriteBinary(KTX_Buffer *p_poBuffer) {
  int32_t i32Result = p_poBuffer->WritePackedUint32(c_u32Id);
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poBuffer->WritePackedUint32(c_u32Length);
  }
  if (i32Result == KTX_RC_OK && c_u32Length > 0) {
    uint32_t u32Count = c_u32Length;
    i32Result = p_poBuffer->Write(c_pu8Value, &u32Count);
  }
  return i32Result;
}

int32_t KTX_BufferToken::WriteText(KTX_Buffer *p_poBuffer) {
  const KTX_BufferTokenKeyword *poKeyword = FindKeyword(c_u32Id);
  if (poKeyword == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const char *szType = GetTypeSpelling(poKeyword->u32Type);
  if (szType == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  std::string &roLine = c_strLine;
  roLine.assign(c_strIndent);
  roLine += poKeyword->szKeyword;
  roLine += ' ';
  roLine += szType;
  const uint8_t *pu8 = c_pu8Value;
  const uint32_t u32Length = c_u32Length;
  char acScratch[64];
  switch (poKeyword->u32Type) {
  case KTX_BTT_U8:
    for (uint32_t i = 0; i < u32Length; ++i) {
      roLine += ' ';
      AppendDecimal(roLine, pu8[i]);
    }
    break;
  case KTX_BTT_H8:
    for (uint32_t i = 0; i < u32Length; ++i) {
      std::snprintf(acScratch, sizeof acScratch, " %02X", pu8[i]);
      roLine += acScratch;
    }
    break;
  case KTX_BTT_SZ8:
    roLine += ' ';
    for (uint32_t i = 0; i < u32Length && pu8[i] != 0; ++i) {
      roLine += static_cast<char>(pu8[i]);
    }
    break;
  case KTX_BTT_U16:
    for (uint32_t i = 0; i + 2 <= u32Length; i += 2) {
      roLine += ' ';
      AppendDecimal(roLine, ReadBe(pu8 + i, 2));
    }
    break;
  case KTX_BTT_SZ16:
    roLine += ' ';
    for (uint32_t i = 0; i + 2 <= u32Length; i += 2) {
      const uint32_t u32Unit = static_cast<uint32_t>(pu8[i] | (pu8[i + 1] << 8));
      if (u32Unit == '\\') {
        roLine += "\\\\";
      } else if (u32Unit < 32 || u32Unit > 126) {
        std::snprintf(acScratch, sizeof acScratch, "\\%04X", u32Unit);
        roLine += acScratch;
      } else {
        roLine += static_cast<char>(u32Unit);
      }
    }
    break;
  case KTX_BTT_ID: {
    // Only the four widths of an ID value can be spelled.
    if (u32Length != 2 && u32Length != 4 && u32Length != 6 && u32Length != 8) {
      return KTX_RC_INVALID_PARAMETER;
    }
    const char *szName = GetConfigTypeName(ReadBe(pu8, u32Length / 2));
    if (szName == nullptr) {
      return KTX_RC_INVALID_PARAMETER;
    }
    roLine += ' ';
    roLine += szName;
    roLine += ' ';
    AppendDecimal(roLine, ReadBe(pu8 + u32Length / 2, u32Length / 2));
    break;
  }
  case KTX_BTT_DATE:
    if (u32Length != static_cast<uint32_t>(KTX_DateTime::c_i32TextLength)) {
      return KTX_RC_INVALID_PARAMETER;
    }
    roLine += ' ';
    roLine.append(reinterpret_cast<const char *>(pu8), u32Length);
    break;
  case KTX_BTT_VER: {
    KTX_Version oVersion;
    if (u32Length < static_cast<uint32_t>(KTX_Version::c_i32BinaryLength) ||
        oVersion.FromBinary(pu8, KTX_Version::c_i32BinaryLength) != KTX_RC_OK) {
      return KTX_RC_INVALID_PARAMETER;
    }
    char acText[KTX_Version::c_i32TextLength + 1];
    oVersion.ToText(acText, sizeof acText);
    roLine += ' ';
    roLine += acText;
    break;
  }
  case KTX_BTT_I32:
    for (uint32_t i = 0; i + 4 <= u32Length; i += 4) {
      const uint32_t u32Value = ReadBe(pu8 + i, 4);
      roLine += ' ';
      if ((u32Value & 0x80000000u) != 0) {
        roLine += '-';
        AppendDecimal(roLine, 0u - u32Value);
      } else {
        AppendDecimal(roLine, u32Value);
      }
    }
    break;
  case KTX_BTT_U32:
    for (uint32_t i = 0; i + 4 <= u32Length; i += 4) {
      roLine += ' ';
      AppendDecimal(roLine, ReadBe(pu8 + i, 4));
    }
    break;
  default:
    break;
  }
  roLine += "\r\n";
  uint32_t u32Count = static_cast<uint32_t>(roLine.size());
  return p_poBuffer->Write(reinterpret_cast<const uint8_t *>(roLine.data()), &u32Count);
}

int32_t KTX_BufferToken::WriteHeader(KTX_Buffer *p_poBuffer, const KTX_Version &p_roVersion,
                                     const KTX_DateTime &p_roFileDate) {
  const char *szHeader = c_u32WriteEncoding == c_u32EncodingBinary ? c_szBinaryHeader
                         : c_u32WriteEncoding == c_u32EncodingText ? c_szTextHeader
                                                                   : nullptr;
  if (szHeader == nullptr) {
    return KTX_RC_INTERNAL_ERROR;
  }
  if (p_poBuffer == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  uint32_t u32Count = c_u32HeaderLength;
  int32_t i32Result = p_poBuffer->Write(reinterpret_cast<const uint8_t *>(szHeader), &u32Count);
  if (i32Result == KTX_RC_OK) {
    i32Result = SetVersion(KTX_BTID_VERSION_NUMBER, p_roVersion).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = SetDate(KTX_BTID_VERSION_DATE, p_roVersion.GetBuildTime()).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = SetDate(KTX_BTID_FILE_DATE, p_roFileDate).WriteToken(p_poBuffer);
  }
  return i32Result;
}

// ---- reading

int32_t KTX_BufferToken::ReadToken(KTX_Buffer *p_poBuffer) {
  if (c_u32ReadEncoding != c_u32EncodingBinary && c_u32ReadEncoding != c_u32EncodingText) {
    return KTX_RC_INTERNAL_ERROR;
  }
  if (p_poBuffer == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  c_i32SetError = KTX_RC_OK;
  return c_u32ReadEncoding == c_u32EncodingBinary ? ReadBinary(p_poBuffer) : ReadText(p_poBuffer);
}

int32_t KTX_BufferToken::ReadBinary(KTX_Buffer *p_poBuffer) {
  c_u32Length = 0;
  int32_t i32Result = p_poBuffer->ReadPackedUint32(&c_u32Id);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  uint32_t u32Length = 0;
  i32Result = p_poBuffer->ReadPackedUint32(&u32Length);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  i32Result = ReserveValue(u32Length);
  if (i32Result != KTX_RC_OK || u32Length == 0) {
    return i32Result;
  }
  uint32_t u32Count = u32Length;
  i32Result = p_poBuffer->Read(c_pu8Value, &u32Count);
  if (i32Result != KTX_RC_OK) {
    c_u32Length = 0;
    return i32Result;
  }
  if (u32Count != u32Length) {
    c_u32Length = 0;
    return KTX_RC_OPERATION_FAILED;
  }
  return KTX_RC_OK;
}

int32_t KTX_BufferToken::ReadLine(KTX_Buffer *p_poBuffer) {
  c_strLine.clear();
  bool bStarted = false;
  // Each pass consumes one byte or ends the line; the length cap bounds it.
  for (;;) {
    uint8_t u8Byte = 0;
    uint32_t u32Count = 1;
    const int32_t i32Result = p_poBuffer->Read(&u8Byte, &u32Count);
    if (i32Result == KTX_RC_BUFFER_EMPTY || (i32Result == KTX_RC_OK && u32Count == 0)) {
      return KTX_RC_OK; // end of the data ends the line
    }
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    if (u8Byte == '\r' || u8Byte == '\n') {
      if (bStarted) {
        return KTX_RC_OK;
      }
      continue;
    }
    bStarted = true;
    if (c_strLine.size() >= c_u32MaxLineLength) {
      return KTX_RC_INVALID_PARAMETER;
    }
    c_strLine += static_cast<char>(u8Byte);
  }
}

int32_t KTX_BufferToken::ReadText(KTX_Buffer *p_poBuffer) {
  c_u32Id = 0;
  c_u32Length = 0;
  std::memset(c_au8Inline, 0, sizeof c_au8Inline);
  int32_t i32Result = ReadLine(p_poBuffer);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  WordCursor oWords{c_strLine, 0};
  size_t uStart = 0;
  size_t uLength = 0;
  oWords.Next(uStart, uLength);
  const KTX_BufferTokenKeyword *poKeyword =
      FindKeyword(c_strLine.data() + uStart, static_cast<uint32_t>(uLength));
  if (poKeyword == nullptr) {
    return KTX_RC_BUFFER_GENERIC_ERROR;
  }
  oWords.Next(uStart, uLength);
  uint32_t u32Type = KTX_BTT_END_OF_TABLE;
  for (const TypeRow &ro : k_aoTypes) {
    if (WordEquals(c_strLine.data() + uStart, static_cast<uint32_t>(uLength), ro.szSpelling)) {
      u32Type = ro.u32Type;
      break;
    }
  }
  if (u32Type == KTX_BTT_END_OF_TABLE) {
    return KTX_RC_BUFFER_GENERIC_ERROR;
  }
  c_u32Id = poKeyword->u32Id;
  // The text types take the rest of the line from just after the character
  // that ended the type word.
  return ParseTextValue(u32Type, oWords.uPos, oWords.uPos);
}

int32_t KTX_BufferToken::ParseTextValue(uint32_t p_u32Type, size_t p_uPos, size_t p_uRestStart) {
  std::vector<uint8_t> &roValue = c_oScratch;
  roValue.clear();
  WordCursor oWords{c_strLine, p_uPos};
  const char *pcLine = c_strLine.data();
  const char *pcRest = pcLine + p_uRestStart;
  const size_t uRest = c_strLine.size() - p_uRestStart;
  size_t uStart = 0;
  size_t uLength = 0;
  switch (p_u32Type) {
  case KTX_BTT_NONE:
    break;
  case KTX_BTT_U8:
  case KTX_BTT_U16:
  case KTX_BTT_U32:
  case KTX_BTT_I32: {
    const uint32_t u32Width = p_u32Type == KTX_BTT_U8 ? 1 : p_u32Type == KTX_BTT_U16 ? 2 : 4;
    for (oWords.Next(uStart, uLength); uLength > 0; oWords.Next(uStart, uLength)) {
      const char *pcWord = pcLine + uStart;
      const bool bNegative = p_u32Type == KTX_BTT_I32 && pcWord[0] == '-';
      const uint32_t u32Value = bNegative ? 0u - ParseDecimal(pcWord + 1, uLength - 1) : ParseDecimal(pcWord, uLength);
      AppendBe(roValue, u32Value, u32Width);
    }
    break;
  }
  case KTX_BTT_H8:
    for (oWords.Next(uStart, uLength); uLength > 0; oWords.Next(uStart, uLength)) {
      roValue.push_back(static_cast<uint8_t>(ParseHexWord(pcLine + uStart, uLength)));
    }
    break;
  case KTX_BTT_SZ8:
    roValue.assign(pcRest, pcRest + uRest);
    break;
  case KTX_BTT_SZ16:
    for (size_t i = 0; i < uRest;) {
      uint32_t u32Unit = static_cast<uint8_t>(pcRest[i]);
      if (pcRest[i] != '\\') {
        ++i;
      } else if (i + 1 < uRest && pcRest[i + 1] == '\\') {
        i += 2;
      } else {
        if (i + 5 > uRest) {
          return KTX_RC_BUFFER_EMPTY;
        }
        u32Unit = 0;
        for (size_t k = 1; k <= 4; ++k) {
          const int iDigit = HexDigit(pcRest[i + k], false);
          if (iDigit < 0) {
            return KTX_RC_BUFFER_EMPTY;
          }
          u32Unit = u32Unit * 16u + static_cast<uint32_t>(iDigit);
        }
        i += 5;
      }
      roValue.push_back(static_cast<uint8_t>(u32Unit));
      roValue.push_back(static_cast<uint8_t>(u32Unit >> 8));
    }
    break;
  case KTX_BTT_ID: {
    oWords.Next(uStart, uLength);
    uint32_t u32ConfigType = 0;
    for (const ConfigTypeRow &ro : k_aoConfigTypes) {
      if (ro.u32Type != 0 && WordEquals(pcLine + uStart, static_cast<uint32_t>(uLength), ro.szName)) {
        u32ConfigType = ro.u32Type;
        break;
      }
    }
    oWords.Next(uStart, uLength);
    const uint32_t u32Index = ParseDecimal(pcLine + uStart, uLength);
    const uint32_t u32Id = c_u32Id;
    SetIdValue(u32Id, u32ConfigType, u32Index);
    return c_i32SetError;
  }
  case KTX_BTT_DATE: {
    KTX_DateTime oDate;
    oDate.FromText(pcRest, static_cast<int32_t>(uRest > 64 ? 64 : uRest));
    const uint32_t u32Id = c_u32Id;
    SetDate(u32Id, oDate);
    return c_i32SetError;
  }
  case KTX_BTT_VER: {
    KTX_Version oVersion;
    const int32_t i32Result = oVersion.FromText(pcRest, static_cast<int32_t>(uRest > 64 ? 64 : uRest));
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    const uint32_t u32Id = c_u32Id;
    SetVersion(u32Id, oVersion);
    return c_i32SetError;
  }
  default:
    // [I8], [I16] and [H16] have no text form.
    return KTX_RC_OPERATION_FAILED;
  }
  if (roValue.size() > c_u32MaxValueLength) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const int32_t i32Result = ReserveValue(static_cast<uint32_t>(roValue.size()));
  if (i32Result == KTX_RC_OK && !roValue.empty()) {
    std::memcpy(c_pu8Value, roValue.data(), roValue.size());
  }
  return i32Result;
}

int32_t KTX_BufferToken::ReadHeader(KTX_Buffer *p_poBuffer) {
  c_u32ReadEncoding = c_u32EncodingUnknown;
  if (p_poBuffer == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  uint8_t au8Header[c_u32HeaderLength];
  uint32_t u32Count = c_u32HeaderLength;
  int32_t i32Result = p_poBuffer->Read(au8Header, &u32Count);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  uint32_t u32Encoding = c_u32EncodingUnknown;
  if (u32Count == c_u32HeaderLength && std::memcmp(au8Header, c_szBinaryHeader, c_u32HeaderLength) == 0) {
    u32Encoding = c_u32EncodingBinary;
  } else if (u32Count == c_u32HeaderLength && std::memcmp(au8Header, c_szTextHeader, c_u32HeaderLength) == 0) {
    u32Encoding = c_u32EncodingText;
  } else {
    return KTX_RC_OPERATION_FAILED;
  }
  c_u32ReadEncoding = u32Encoding;
  const uint32_t au32Expected[3] = {KTX_BTID_VERSION_NUMBER, KTX_BTID_VERSION_DATE, KTX_BTID_FILE_DATE};
  for (uint32_t u32Expected : au32Expected) {
    i32Result = ReadToken(p_poBuffer);
    if (i32Result == KTX_RC_OK && c_u32Id != u32Expected) {
      i32Result = KTX_RC_OPERATION_FAILED;
    }
    if (i32Result != KTX_RC_OK) {
      c_u32ReadEncoding = c_u32EncodingUnknown;
      return i32Result;
    }
  }
  return KTX_RC_OK;
}
