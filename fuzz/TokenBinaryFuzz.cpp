// Binary token streams from outside: token files on disk, configurations read
// back from a sensor.
#include "TokenFuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  token_fuzz::Run(data, size, KTX_BufferToken::c_u32EncodingBinary);
  return 0;
}
