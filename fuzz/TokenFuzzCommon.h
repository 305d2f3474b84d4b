#pragma once
// Shared driver of the token-stream fuzz targets. The first input byte chooses
// how the rest is fed: bit 0 set puts a valid file header in front (so the
// fuzzer spends its effort on tokens), clear hands the bytes to ReadHeader as
// they are; bit 1 reads through a fixed buffer (short reads succeed) instead
// of a heap (the end reads as empty). Every token read is checked:
// - the typed getters never fail in any way but a return code;
// - the binary encoding carries it exactly;
// - the text encoding settles after one pass: writing what was read from a
//   written line gives that line again.

#include "buffers/BufferFixed.h"
#include "buffers/BufferHeap.h"
#include "buffers/BufferToken.h"
#include "runtime/DateTime.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"
#include "runtime/StringUnicode.h"
#include "runtime/Version.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace token_fuzz {

// One keyword per value type beside the stream's own, as a configuration would add.
inline const KTX_BufferTokenKeyword k_aoExtension[] = {
    {7, KTX_BTT_SZ16, "Description"}, {8, KTX_BTT_SZ8, "HostName"},     {15, KTX_BTT_I32, "CalPoint"},
    {17, KTX_BTT_U16, "VideoStandard"}, {26, KTX_BTT_U32, "DetectorRegionEdgePin"}, {37, KTX_BTT_H8, "Bits"},
    {19, KTX_BTT_NONE, "DetectorBase"}, {90, KTX_BTT_I8, "FuzzI8"},     {91, KTX_BTT_I16, "FuzzI16"},
    {92, KTX_BTT_H16, "FuzzH16"},     {0, KTX_BTT_NONE, "Unknown"},
};

template <class T> struct OnStack : T {
  template <class... A> explicit OnStack(A &&...a) : T(static_cast<A &&>(a)...) { this->SetStackVariable(); }
};

inline void Check(bool p_bOk) {
  if (!p_bOk) {
    std::abort();
  }
}

inline std::string Contents(KTX_BufferHeap &p_roHeap) {
  const uint8_t *p = p_roHeap.GetData();
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(p), p_roHeap.GetSize());
}

// Copies the current token (id and value bytes) into p_roTo.
inline void CopyToken(const KTX_BufferToken &p_roFrom, KTX_BufferToken &p_roTo) {
  uint32_t u32Id = 0;
  p_roFrom.GetId(&u32Id);
  p_roTo.SetBytes(u32Id, p_roFrom.GetLength(), p_roFrom.GetValue());
}

// Writes the token in p_u32Encoding after a header, reads it back with a fresh object.
// Returns the write result; p_roBack holds the token read (when writing worked).
inline int32_t Reencode(const KTX_BufferToken &p_roToken, uint32_t p_u32Encoding, KTX_BufferToken &p_roBack,
                        int32_t &p_ri32ReadResult, std::string *p_pstrLine) {
  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferToken> oWriter;
  oWriter.SetWriteEncoding(p_u32Encoding);
  Check(oWriter.WriteHeader(&oHeap, KTX_Version(), KTX_DateTime()) == KTX_RC_OK);
  const uint32_t u32HeaderEnd = oHeap.GetSize();
  CopyToken(p_roToken, oWriter);
  const int32_t i32Write = oWriter.WriteToken(&oHeap);
  if (i32Write != KTX_RC_OK) {
    return i32Write;
  }
  if (p_pstrLine != nullptr) {
    *p_pstrLine = Contents(oHeap).substr(u32HeaderEnd);
  }
  Check(p_roBack.ReadHeader(&oHeap) == KTX_RC_OK);
  p_ri32ReadResult = p_roBack.ReadToken(&oHeap);
  return KTX_RC_OK;
}

inline void ExerciseGetters(const KTX_BufferToken &p_roToken) {
  uint32_t u32Id = 0, u32Type = 0, u32Index = 0, au32[4] = {};
  uint8_t u8 = 0, au8[8] = {};
  uint16_t u16 = 0;
  p_roToken.GetId(&u32Id);
  p_roToken.GetUint8(&u8);
  p_roToken.GetUint16(&u32Id, &u16);
  p_roToken.GetUint32(au32);
  p_roToken.GetUint32Array(4, au32);
  p_roToken.GetBytes(sizeof au8, au8);
  p_roToken.GetIdValue(&u32Id, &u32Type, &u32Index);
  KTX_DateTime oDate;
  p_roToken.GetDate(&oDate);
  KTX_Version oVersion;
  p_roToken.GetVersion(&oVersion);
  OnStack<KTX_StringAscii> oNarrow;
  p_roToken.GetStringAscii(&oNarrow);
  OnStack<KTX_StringUnicode> oWide;
  p_roToken.GetStringUnicode(&oWide);
}

inline void CheckToken(const KTX_BufferToken &p_roToken) {
  ExerciseGetters(p_roToken);

  // Binary: exact.
  OnStack<KTX_BufferToken> oBack;
  int32_t i32Read = -1;
  Check(Reencode(p_roToken, KTX_BufferToken::c_u32EncodingBinary, oBack, i32Read, nullptr) == KTX_RC_OK);
  Check(i32Read == KTX_RC_OK);
  uint32_t u32A = 0, u32B = 0;
  p_roToken.GetId(&u32A);
  oBack.GetId(&u32B);
  Check(u32A == u32B && p_roToken.GetLength() == oBack.GetLength());
  Check(p_roToken.GetLength() == 0 || std::memcmp(p_roToken.GetValue(), oBack.GetValue(), p_roToken.GetLength()) == 0);

  // Text: line 2 = write(read(line 1)) and line 3 = write(read(line 2)) agree.
  OnStack<KTX_BufferToken> oSecond;
  std::string strLine1;
  if (Reencode(p_roToken, KTX_BufferToken::c_u32EncodingText, oSecond, i32Read, &strLine1) != KTX_RC_OK ||
      i32Read != KTX_RC_OK) {
    return;
  }
  OnStack<KTX_BufferToken> oThird;
  std::string strLine2;
  if (Reencode(oSecond, KTX_BufferToken::c_u32EncodingText, oThird, i32Read, &strLine2) != KTX_RC_OK ||
      i32Read != KTX_RC_OK) {
    return;
  }
  OnStack<KTX_BufferToken> oFourth;
  std::string strLine3;
  Check(Reencode(oThird, KTX_BufferToken::c_u32EncodingText, oFourth, i32Read, &strLine3) == KTX_RC_OK);
  Check(strLine2 == strLine3);
}

inline void Run(const uint8_t *p_pu8Data, size_t p_uSize, uint32_t p_u32Encoding) {
  static const bool s_bSetUp = [] {
    SetLogFileName("/dev/null");
    KTX_BufferToken::SetKeywordExtension(k_aoExtension);
    return true;
  }();
  (void)s_bSetUp;
  if (p_uSize == 0 || p_uSize > 200000) {
    return;
  }
  const uint8_t u8Mode = p_pu8Data[0];
  std::vector<uint8_t> oInput;
  if ((u8Mode & 1) != 0) {
    OnStack<KTX_BufferHeap> oHeader;
    OnStack<KTX_BufferToken> oWriter;
    oWriter.SetWriteEncoding(p_u32Encoding);
    oWriter.WriteHeader(&oHeader, KTX_Version(1, 9, 0, "b", KTX_DateTime(2017, 8, 10, 21, 9, 14)),
                        KTX_DateTime(2020, 1, 2, 3, 4, 5));
    oInput.assign(oHeader.GetData(), oHeader.GetData() + oHeader.GetSize());
  }
  oInput.insert(oInput.end(), p_pu8Data + 1, p_pu8Data + p_uSize);
  // An exactly sized block, so a read past the end of the input shows.
  oInput.shrink_to_fit();

  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferFixed> oFixed(oInput.empty() ? nullptr : oInput.data(), static_cast<uint32_t>(oInput.size()));
  KTX_Buffer *poBuffer = &oFixed;
  if ((u8Mode & 2) == 0) {
    uint32_t u32Count = static_cast<uint32_t>(oInput.size());
    if (u32Count > 0) {
      oHeap.Write(oInput.data(), &u32Count);
    }
    poBuffer = &oHeap;
  }

  OnStack<KTX_BufferToken> oToken;
  if (oToken.ReadHeader(poBuffer) != KTX_RC_OK) {
    Check(oToken.ReadToken(poBuffer) == KTX_RC_INTERNAL_ERROR);
    return;
  }
  // Every successful read consumes at least one byte, so the input bounds the loop too.
  for (int i = 0; i < 4096; ++i) {
    if (oToken.ReadToken(poBuffer) != KTX_RC_OK) {
      break;
    }
    CheckToken(oToken);
  }
}

} // namespace token_fuzz
