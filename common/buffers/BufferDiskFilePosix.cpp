#include "buffers/BufferDiskFile.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

KTX_BufferDiskFile::KTX_BufferDiskFile(const char *p_szFileName)
    : KTX_Buffer(KTX_BASE_CLASS_BUFFER_DISK_FILE), c_strFileName(p_szFileName != nullptr ? p_szFileName : ""),
      c_iReadHandle(-1), c_iWriteHandle(-1), c_u32FileSize(0), c_u32BytesRead(0) {}

KTX_BufferDiskFile::~KTX_BufferDiskFile() {
  if (c_iReadHandle >= 0) {
    close(c_iReadHandle);
  }
  if (c_iWriteHandle >= 0) {
    close(c_iWriteHandle);
  }
}

int32_t KTX_BufferDiskFile::OpenForRead() {
  if (c_iReadHandle >= 0) {
    return KTX_RC_OK;
  }
  const int iHandle = open(c_strFileName.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat oStat {};
  if (iHandle < 0 || fstat(iHandle, &oStat) != 0 || !S_ISREG(oStat.st_mode)) {
    if (iHandle >= 0) {
      close(iHandle);
    }
    KTX_LOG(KTX_ASSERT, "KTX_BufferDiskFile::Read -- CreateFile failed");
    return KTX_RC_OPERATION_FAILED;
  }
  c_iReadHandle = iHandle;
  // Sizes are 32-bit throughout the buffers; a larger file reads as its first 4 GiB - 1.
  c_u32FileSize = oStat.st_size > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(oStat.st_size);
  c_u32BytesRead = 0;
  return KTX_RC_OK;
}

int32_t KTX_BufferDiskFile::Read(uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const int32_t i32Result = OpenForRead();
  if (i32Result != KTX_RC_OK) {
    *p_pu32Count = 0;
    return i32Result;
  }
  ssize_t iRead;
  do {
    iRead = read(c_iReadHandle, p_pu8Data, *p_pu32Count);
  } while (iRead < 0 && errno == EINTR);
  if (iRead < 0) {
    *p_pu32Count = 0;
    return KTX_RC_OPERATION_FAILED;
  }
  *p_pu32Count = static_cast<uint32_t>(iRead);
  c_u32BytesRead += static_cast<uint32_t>(iRead);
  return KTX_RC_OK;
}

int32_t KTX_BufferDiskFile::GetByteCount(uint32_t *p_pu32Remaining, uint32_t *p_pu32Total) {
  const int32_t i32Result = OpenForRead();
  const uint32_t u32Left =
      i32Result == KTX_RC_OK && c_u32FileSize > c_u32BytesRead ? c_u32FileSize - c_u32BytesRead : 0;
  if (p_pu32Remaining != nullptr) {
    *p_pu32Remaining = u32Left;
  }
  if (p_pu32Total != nullptr) {
    *p_pu32Total = u32Left;
  }
  return i32Result;
}

int32_t KTX_BufferDiskFile::Write(const uint8_t *p_pu8Data, uint32_t *p_pu32Count) {
  if (p_pu8Data == nullptr || p_pu32Count == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (c_iWriteHandle < 0) {
    c_iWriteHandle = open(c_strFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (c_iWriteHandle < 0) {
      *p_pu32Count = 0;
      KTX_LOG(KTX_ASSERT, "KTX_BufferDiskFile::Write -- CreateFile failed");
      return KTX_RC_OPERATION_FAILED;
    }
  }
  uint32_t u32Done = 0;
  while (u32Done < *p_pu32Count) {
    const ssize_t iWritten = write(c_iWriteHandle, p_pu8Data + u32Done, *p_pu32Count - u32Done);
    if (iWritten < 0 && errno == EINTR) {
      continue;
    }
    if (iWritten <= 0) {
      // A full disk or a failing device: the caller learns how much got out.
      *p_pu32Count = u32Done;
      return KTX_RC_OPERATION_FAILED;
    }
    u32Done += static_cast<uint32_t>(iWritten);
  }
  *p_pu32Count = u32Done;
  return KTX_RC_OK;
}
