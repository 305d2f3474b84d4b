#include "runtime/DebugString.h"

#include <cstring>

namespace {
// The line sequence counter; changed only under the class lock of the debug string type.
int32_t g_i32Sequence = 0;
} // namespace

KTX_DebugString::KTX_DebugString() : KTX_BaseClass(KTX_BASE_CLASS_DEBUG_STRING), c_acText{}, c_i32Length(0) {}

void KTX_DebugString::Append(const char *p_szText) {
  if (p_szText == nullptr) {
    return;
  }
  const size_t room = static_cast<size_t>(c_i32Capacity - c_i32Length);
  const size_t n = strnlen(p_szText, room);
  std::memcpy(c_acText + c_i32Length, p_szText, n);
  c_i32Length += static_cast<int32_t>(n);
  c_acText[c_i32Length] = '\0';
}

void KTX_DebugString::AppendNumber(int32_t p_i32Value, int32_t p_i32Width) {
  if (p_i32Width > 100) {
    p_i32Width = 100;
  }
  char digits[16];
  int32_t count = 0;
  // Work on the magnitude as unsigned so INT32_MIN is rendered correctly.
  uint32_t magnitude = p_i32Value < 0 ? 0u - static_cast<uint32_t>(p_i32Value) : static_cast<uint32_t>(p_i32Value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (p_i32Value < 0) {
    digits[count++] = '-';
  }
  char out[128];
  int32_t n = 0;
  for (int32_t pad = p_i32Width - count; pad > 0; --pad) {
    out[n++] = ' ';
  }
  while (count > 0) {
    out[n++] = digits[--count];
  }
  out[n] = '\0';
  Append(out);
}

void KTX_DebugString::AddSequenceNumber() {
  int32_t number;
  {
    KTX_ClassLockGuard guard(KTX_BASE_CLASS_DEBUG_STRING);
    number = ++g_i32Sequence;
  }
  AppendNumber(number, 4);
}
