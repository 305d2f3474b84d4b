#pragma once
// CRC-32 of IEEE 802.3: reflected polynomial 0xEDB88320, register preset to all
// ones, result complemented. The state passed in and returned is the finished
// CRC of everything so far, starting from 0, so chained updates over pieces give
// the same value as one pass over all of them.

#include <cstdint>

// Continues p_u32Crc (0 for a fresh start) over p_u32Count bytes.
uint32_t KTX_Crc32Update(uint32_t p_u32Crc, const uint8_t *p_pu8Data, uint32_t p_u32Count);

// The same through the table-driven path only, whatever the processor offers.
// The carry-less-multiply path is checked against it.
uint32_t KTX_Crc32UpdatePortable(uint32_t p_u32Crc, const uint8_t *p_pu8Data, uint32_t p_u32Count);

// True when KTX_Crc32Update uses the processor's carry-less multiply.
bool KTX_Crc32UsesCarrylessMultiply();
