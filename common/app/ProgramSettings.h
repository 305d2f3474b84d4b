#pragma once
// Root of the program settings: an object read from a store once at start-up,
// edited in memory, and written back at exit. The store is reached only through
// the serializer, which the settings own once it is set.

#include <cstdint>

class KTX_ProgramSettingsSerializer;

class KTX_ProgramSettings {
public:
  KTX_ProgramSettings();
  virtual ~KTX_ProgramSettings();
  KTX_ProgramSettings(const KTX_ProgramSettings &) = delete;
  KTX_ProgramSettings &operator=(const KTX_ProgramSettings &) = delete;

  virtual int32_t Read() = 0;
  virtual int32_t Write() = 0;

  // Takes ownership; a null serializer is stored all the same after an assertion line.
  void SetSerializer(KTX_ProgramSettingsSerializer *p_poSerializer);
  KTX_ProgramSettingsSerializer *GetSerializer() const { return c_poSerializer; }

private:
  KTX_ProgramSettingsSerializer *c_poSerializer;
};
