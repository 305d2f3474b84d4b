// Text token files, as people edit them.
#include "TokenFuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  token_fuzz::Run(data, size, KTX_BufferToken::c_u32EncodingText);
  return 0;
}
