#pragma once
// One line of the debug log while it is being built: at most 2000 characters,
// anything beyond is dropped silently.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_DebugString : public KTX_BaseClass {
public:
  static constexpr int32_t c_i32Capacity = 2000;

  KTX_DebugString();

  // Appends as much of the text as fits.
  void Append(const char *p_szText);
  // Appends a number right-aligned in p_i32Width columns (width capped at 100).
  void AppendNumber(int32_t p_i32Value, int32_t p_i32Width);
  // Takes the next line sequence number (process-wide) and appends it in 4 columns.
  void AddSequenceNumber();

  const char *GetText() const { return c_acText; }
  int32_t GetLength() const { return c_i32Length; }

private:
  char c_acText[c_i32Capacity + 1];
  int32_t c_i32Length;
};
