#pragma once
// A fixed buffer over bytes embedded in the program. The bytes belong to the
// program image: the buffer reads them in place and refuses to write them.

#include "buffers/BufferFixed.h"

#include <cstdint>

class KTX_BufferResource : public KTX_BufferFixed {
public:
  KTX_BufferResource();
  ~KTX_BufferResource() override;

  // Attaches to resource p_szName of type p_szType in module p_szModule (absent:
  // any module of the program). KTX_RC_OPERATION_FAILED when there is none.
  int32_t LoadFromResource(const char *p_szName, const char *p_szType, const char *p_szModule = nullptr);

  // Embedded bytes are read-only: KTX_RC_OPERATION_NOT_PERMITTED.
  int32_t Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
};
