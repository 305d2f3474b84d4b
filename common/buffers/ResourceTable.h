#pragma once
// Bytes the build compiles into the program (sample snapshots, bitmaps), found
// by name and resource type. The build turns data files into a generated source
// that registers one table per module (the target that embeds them) while the
// program starts; see EmbedResources.cmake. Names and types compare without
// regard to case.

#include <cstdint>

struct KTX_ResourceEntry {
  const char *szName;
  const char *szType;
  const uint8_t *pu8Data;
  uint32_t u32Size;
};

class KTX_ResourceTable {
public:
  // Adds a table of p_u32Count entries of module p_szModule. The entries must
  // live as long as the program (the generated sources keep them in static storage).
  static void Register(const char *p_szModule, const KTX_ResourceEntry *p_poEntries, uint32_t p_u32Count);

  // Finds resource p_szName of type p_szType in module p_szModule, or in any
  // module of the program when p_szModule is absent. KTX_RC_OPERATION_FAILED
  // when there is none.
  static int32_t Find(const char *p_szName, const char *p_szType, const char *p_szModule,
                      const uint8_t **p_ppu8Data, uint32_t *p_pu32Size);

  // One generated source holds one of these at namespace scope.
  class Registration {
  public:
    Registration(const char *p_szModule, const KTX_ResourceEntry *p_poEntries, uint32_t p_u32Count) {
      Register(p_szModule, p_poEntries, p_u32Count);
    }
  };
};
