#pragma once
// The memory that stands for the sensor's flash on this computer: a window of
// 16 MiB whose first byte has address 0x42000000, backed by a file beside the
// program that is memory-mapped on first use and kept for the life of the
// program, so its contents persist between runs. A new backing file starts out
// erased (every byte 0xFF), as fresh flash does. The file is held exclusively:
// a second program using the same file fails to open it.

#include <cstdint>
#include <string>

class KTX_FlashStore {
public:
  static constexpr uint32_t c_u32BaseAddress = 0x42000000u;
  static constexpr uint32_t c_u32Size = 0x1000000u;
  static constexpr const char *c_szFileName = "DuvavOzuva_Long_2013_06_04_03.chp";

  // Copies p_u32Count bytes at flash address p_u32Address.
  // KTX_RC_INVALID_PARAMETER when the range is empty or leaves the window;
  // KTX_RC_OPERATION_FAILED when the backing file or its mapping cannot be set
  // up (the next call tries again).
  static int32_t ReadFlash(uint32_t p_u32Address, uint32_t p_u32Count, uint8_t *p_pu8Destination);

  // The backing file: the override when one is set, otherwise the file named
  // above in the directory that holds the program.
  static std::string GetBackingFilePath();
  // Points the store at another backing file (empty: back to the default) and
  // drops the current mapping, so the next access maps the new file. Lets
  // processes that run side by side, such as tests, each use a file of their own.
  static void SetBackingFilePath(const std::string &p_strPath);
};
