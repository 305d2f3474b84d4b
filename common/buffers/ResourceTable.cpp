#include "buffers/ResourceTable.h"

#include "runtime/ReturnCode.h"

#include <mutex>
#include <strings.h>
#include <vector>

namespace {

struct ModuleTable {
  const char *szModule;
  const KTX_ResourceEntry *poEntries;
  uint32_t u32Count;
};

// Function-local so that registrations made while other sources are still
// being initialised find it constructed.
std::vector<ModuleTable> &Tables() {
  static std::vector<ModuleTable> s_oTables;
  return s_oTables;
}

std::mutex &TablesLock() {
  static std::mutex s_oLock;
  return s_oLock;
}

bool SameName(const char *p_szA, const char *p_szB) {
  return p_szA != nullptr && p_szB != nullptr && strcasecmp(p_szA, p_szB) == 0;
}

} // namespace

void KTX_ResourceTable::Register(const char *p_szModule, const KTX_ResourceEntry *p_poEntries, uint32_t p_u32Count) {
  if (p_poEntries == nullptr || p_u32Count == 0) {
    return;
  }
  std::lock_guard<std::mutex> oLock(TablesLock());
  Tables().push_back(ModuleTable{p_szModule != nullptr ? p_szModule : "", p_poEntries, p_u32Count});
}

int32_t KTX_ResourceTable::Find(const char *p_szName, const char *p_szType, const char *p_szModule,
                                const uint8_t **p_ppu8Data, uint32_t *p_pu32Size) {
  if (p_szName == nullptr || p_szType == nullptr || p_ppu8Data == nullptr || p_pu32Size == nullptr) {
    return KTX_RC_OPERATION_FAILED;
  }
  std::lock_guard<std::mutex> oLock(TablesLock());
  for (const ModuleTable &roTable : Tables()) {
    if (p_szModule != nullptr && !SameName(p_szModule, roTable.szModule)) {
      continue;
    }
    for (uint32_t i = 0; i < roTable.u32Count; ++i) {
      const KTX_ResourceEntry &roEntry = roTable.poEntries[i];
      if (SameName(p_szName, roEntry.szName) && SameName(p_szType, roEntry.szType)) {
        *p_ppu8Data = roEntry.pu8Data;
        *p_pu32Size = roEntry.u32Size;
        return KTX_RC_OK;
      }
    }
  }
  return KTX_RC_OPERATION_FAILED;
}
