#pragma once
// The per-user settings store: a small text file, by default
// $XDG_CONFIG_HOME/Tarnvel/Tarnvel Wizard.conf (~/.config when XDG_CONFIG_HOME is
// unset), holding one "[Settings]" section of typed values:
//
//   [Settings]
//   MainWndLeft=int:-1
//   SelChannel=str:COM3-255
//
// Integers and strings stay distinct: reading a key as the other kind yields the
// default. Unsigned values are stored as the same 32-bit pattern as signed ones.
// Every write replaces the file atomically (write a temporary, then rename), so a
// crash never leaves a half-written store. A missing, truncated or garbled file
// gives the defaults and a log line, never a failure.

#include "app/ProgramSettingsSerializer.h"

#include <map>
#include <string>

class KTX_ProgramSettingsSerializerRegistry : public KTX_ProgramSettingsSerializer {
public:
  // p_szPath null: the default per-user file.
  explicit KTX_ProgramSettingsSerializerRegistry(const char *p_szSection, const char *p_szPath = nullptr);

  int32_t ReadInt(const char *p_szKey, int32_t &p_ri32Value, int32_t p_i32Default, int32_t p_i32Minimum,
                  int32_t p_i32Maximum) override;
  int32_t WriteInt(const char *p_szKey, int32_t p_i32Value) override;
  int32_t ReadUint(const char *p_szKey, uint32_t &p_ru32Value, uint32_t p_u32Default, uint32_t p_u32Minimum,
                   uint32_t p_u32Maximum) override;
  int32_t WriteUint(const char *p_szKey, const uint32_t &p_ru32Value, uint32_t p_u32Minimum,
                    uint32_t p_u32Maximum) override;
  int32_t ReadString(const char *p_szKey, KTX_StringAscii &p_roValue, const char *p_szDefault) override;
  int32_t WriteString(const char *p_szKey, const char *p_szValue) override;

  const std::string &GetPath() const { return c_strPath; }

  // One stored value.
  struct Value {
    bool bIsString;
    int32_t i32Number;
    std::string strText;
  };
  using Section = std::map<std::string, Value>;
  using Store = std::map<std::string, Section>;

  // Parses the text of a store file. Lines that cannot be understood are
  // skipped and counted; returns KTX_RC_OK, or KTX_RC_FILE_INVALID_FORMAT when
  // some lines were skipped (what could be read is kept either way).
  static int32_t Parse(const char *p_pData, size_t p_uSize, Store &p_roStore, int32_t &p_ri32BadLines);
  // The text of a store file.
  static std::string Format(const Store &p_roStore);
  // The default per-user file path.
  static std::string DefaultPath();

private:
  void Load();
  int32_t Save();
  const Value *Find(const char *p_szKey);

  std::string c_strSection;
  std::string c_strPath;
  bool c_bLoaded;
  Store c_oStore;
};
