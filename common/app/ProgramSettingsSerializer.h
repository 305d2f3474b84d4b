#pragma once
// The abstract key-value store behind the program settings. Reads clamp what
// they find into [minimum, maximum] and fall back to the default when the key is
// absent (or holds a value of the other kind).

#include <cstdint>

class KTX_StringAscii;

class KTX_ProgramSettingsSerializer {
public:
  virtual ~KTX_ProgramSettingsSerializer() = default;
  virtual int32_t ReadInt(const char *p_szKey, int32_t &p_ri32Value, int32_t p_i32Default, int32_t p_i32Minimum,
                          int32_t p_i32Maximum) = 0;
  virtual int32_t WriteInt(const char *p_szKey, int32_t p_i32Value) = 0;
  virtual int32_t ReadUint(const char *p_szKey, uint32_t &p_ru32Value, uint32_t p_u32Default, uint32_t p_u32Minimum,
                           uint32_t p_u32Maximum) = 0;
  // The range arguments are accepted for symmetry with ReadUint and ignored.
  virtual int32_t WriteUint(const char *p_szKey, const uint32_t &p_ru32Value, uint32_t p_u32Minimum,
                            uint32_t p_u32Maximum) = 0;
  // p_szDefault null means the empty text.
  virtual int32_t ReadString(const char *p_szKey, KTX_StringAscii &p_roValue, const char *p_szDefault) = 0;
  virtual int32_t WriteString(const char *p_szKey, const char *p_szValue) = 0;
};
