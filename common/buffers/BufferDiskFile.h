#pragma once
// A file on disk as a buffer. The file is opened for reading on the first Read
// or GetByteCount (existing files only) and for writing on the first Write
// (always a new, empty file); both stay open until the buffer is destroyed.
// Used by one thread at a time; takes no lock.

#include "buffers/Buffer.h"

#include <cstdint>
#include <string>

class KTX_BufferDiskFile : public KTX_Buffer {
public:
  explicit KTX_BufferDiskFile(const char *p_szFileName);
  ~KTX_BufferDiskFile() override;

  // Writes all the bytes; the count returns the number written.
  int32_t Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // Delivers up to the count; 0 bytes at the end of the file.
  int32_t Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) override;
  // Both outputs are file size - bytes read.
  int32_t GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) override;

  const char *GetFileName() const { return c_strFileName.c_str(); }

private:
  int32_t OpenForRead();

  std::string c_strFileName;
  int c_iReadHandle;
  int c_iWriteHandle;
  uint32_t c_u32FileSize;
  uint32_t c_u32BytesRead;
};
