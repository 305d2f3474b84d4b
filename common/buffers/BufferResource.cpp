#include "buffers/BufferResource.h"

#include "buffers/ResourceTable.h"
#include "runtime/ReturnCode.h"

KTX_BufferResource::KTX_BufferResource() : KTX_BufferFixed(nullptr, 0, KTX_BASE_CLASS_BUFFER_RESOURCE) {}

KTX_BufferResource::~KTX_BufferResource() = default;

int32_t KTX_BufferResource::LoadFromResource(const char *p_szName, const char *p_szType, const char *p_szModule) {
  const uint8_t *pu8Data = nullptr;
  uint32_t u32Size = 0;
  const int32_t i32Result = KTX_ResourceTable::Find(p_szName, p_szType, p_szModule, &pu8Data, &u32Size);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  // The storage pointer is shared with writable fixed buffers; Write below keeps it read-only.
  Attach(const_cast<uint8_t *>(pu8Data), u32Size);
  return KTX_RC_OK;
}

int32_t KTX_BufferResource::Write(const uint8_t *, uint32_t *) { return KTX_RC_OPERATION_NOT_PERMITTED; }
