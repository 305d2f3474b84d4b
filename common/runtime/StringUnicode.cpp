#include "runtime/StringUnicode.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <algorithm>
#include <cstring>

namespace {

uint16_t Widen(char p_cChar) { return static_cast<uint16_t>(static_cast<int16_t>(static_cast<signed char>(p_cChar))); }

} // namespace

KTX_StringUnicode::KTX_StringUnicode()
    : KTX_BaseClass(KTX_BASE_CLASS_STRING_UNICODE), c_au16Inline{}, c_pu16Text(c_au16Inline),
      c_i32Capacity(c_i32InlineCapacity), c_i32Length(0) {}

KTX_StringUnicode::~KTX_StringUnicode() {
  if (c_pu16Text != c_au16Inline) {
    delete[] c_pu16Text;
  }
}

void KTX_StringUnicode::MakeEmpty() {
  c_i32Length = 0;
  c_pu16Text[0] = 0;
}

int32_t KTX_StringUnicode::SetLength(int32_t p_i32Length) {
  if (p_i32Length < 0 || p_i32Length > c_i32MaxLength) {
    // The narrow string's text: both string classes report an oversize request alike.
    KTX_LOG(KTX_ASSERT, "KTX_StringAscii::MakeRoomInBuffer -- Invalid ByteCount");
    MakeEmpty();
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_i32Length > c_i32Capacity) {
    uint16_t *block = new uint16_t[static_cast<size_t>(p_i32Length) + 1]();
    std::memcpy(block, c_pu16Text, static_cast<size_t>(c_i32Length) * sizeof(uint16_t));
    if (c_pu16Text != c_au16Inline) {
      delete[] c_pu16Text;
    }
    c_pu16Text = block;
    c_i32Capacity = p_i32Length;
  }
  if (p_i32Length > c_i32Length) {
    std::fill(c_pu16Text + c_i32Length, c_pu16Text + p_i32Length, uint16_t{0});
  }
  c_i32Length = p_i32Length;
  c_pu16Text[c_i32Length] = 0;
  return KTX_RC_OK;
}

int32_t KTX_StringUnicode::Clear() {
  std::fill(c_pu16Text, c_pu16Text + c_i32Capacity + 1, uint16_t{0});
  c_i32Length = 0;
  return KTX_RC_OK;
}

KTX_StringUnicode &KTX_StringUnicode::AssignNarrow(const char *p_szText) {
  Clear();
  const int32_t n = KTX_StrLenLimited(p_szText, c_i32MaxLength);
  if (SetLength(n) == KTX_RC_OK) {
    for (int32_t i = 0; i < n; ++i) {
      c_pu16Text[i] = Widen(p_szText[i]);
    }
  }
  return *this;
}

KTX_StringUnicode &KTX_StringUnicode::AssignWide(const uint16_t *p_pu16Units) {
  Clear();
  const int32_t n = KTX_WcsLenLimited(p_pu16Units, c_i32MaxLength);
  if (SetLength(n) == KTX_RC_OK && n > 0) {
    std::memcpy(c_pu16Text, p_pu16Units, static_cast<size_t>(n) * sizeof(uint16_t));
  }
  return *this;
}

int32_t KTX_StringUnicode::AssignWideLimited(const uint16_t *p_pu16Units, int32_t p_i32ByteCount) {
  Clear();
  const int32_t n = KTX_WcsLenLimited(p_pu16Units, p_i32ByteCount / 2);
  const int32_t rc = SetLength(n);
  if (rc == KTX_RC_OK && n > 0) {
    std::memcpy(c_pu16Text, p_pu16Units, static_cast<size_t>(n) * sizeof(uint16_t));
  }
  return rc;
}

int32_t KTX_StringUnicode::AppendNarrow(const char *p_szText, int32_t p_i32Count) {
  const int32_t n = KTX_StrLenLimited(p_szText, p_i32Count);
  const int32_t start = c_i32Length;
  // A sum beyond the limit is refused by SetLength like any other oversize request.
  const int64_t wanted = static_cast<int64_t>(start) + n;
  const int32_t rc = SetLength(wanted > c_i32MaxLength ? -1 : static_cast<int32_t>(wanted));
  if (rc != KTX_RC_OK) {
    return rc;
  }
  for (int32_t i = 0; i < n; ++i) {
    c_pu16Text[start + i] = Widen(p_szText[i]);
  }
  return KTX_RC_OK;
}

KTX_StringUnicode &KTX_StringUnicode::AppendNarrowChar(char p_cChar) { return AppendChar(Widen(p_cChar)); }

KTX_StringUnicode &KTX_StringUnicode::AppendChar(uint16_t p_u16Unit) {
  const int32_t at = c_i32Length;
  if (SetLength(at + 1) == KTX_RC_OK) {
    c_pu16Text[at] = p_u16Unit;
  }
  return *this;
}

uint16_t *KTX_StringUnicode::ExposeBufferForWrite(int32_t p_i32ByteCount) {
  if (p_i32ByteCount % 2 != 0) {
    KTX_LOG(KTX_ASSERT, "KTX_StringUnicode::ExposeBufferForWrite -- Invalid ByteCount");
    return nullptr;
  }
  return ExposeBufferForStringWrite(p_i32ByteCount / 2);
}

uint16_t *KTX_StringUnicode::ExposeBufferForStringWrite(int32_t p_i32Count) {
  if (p_i32Count == 0) {
    KTX_LOG(KTX_WARNING, "KTX_StringUnicode::ExposeBufferForStringWrite -- Zero ByteCount");
    MakeEmpty();
    return nullptr;
  }
  if (p_i32Count < 0 || p_i32Count > c_i32MaxLength) {
    KTX_LOG(KTX_ASSERT, "KTX_StringUnicode::ExposeBufferForStringWrite -- Invalid ByteCount");
    MakeEmpty();
    return nullptr;
  }
  SetLength(p_i32Count);
  return c_pu16Text;
}

// The narrow string's conversion of a wide one lives here, beside the wide string.
int32_t KTX_StringAscii::AppendUnicode(const KTX_StringUnicode &p_roText) {
  return AppendWide(p_roText.GetText(), p_roText.GetLength());
}
