#include "buffers/FlashStore.h"

#include "runtime/ReturnCode.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FlashMapping {
  std::mutex oLock;
  std::string strOverride;
  int iHandle = -1;
  uint8_t *pu8Window = nullptr;
};

// Never destroyed: the mapping stays valid for code that runs during exit.
FlashMapping &Mapping() {
  static FlashMapping *s_poMapping = new FlashMapping();
  return *s_poMapping;
}

std::string DefaultPath() {
  char acExe[PATH_MAX];
  const ssize_t iLength = readlink("/proc/self/exe", acExe, sizeof acExe - 1);
  std::string strDir = ".";
  if (iLength > 0) {
    acExe[iLength] = '\0';
    strDir.assign(acExe, static_cast<size_t>(iLength));
    const size_t uSlash = strDir.rfind('/');
    strDir = uSlash == std::string::npos ? std::string(".") : strDir.substr(0, uSlash == 0 ? 1 : uSlash);
  }
  if (strDir.empty() || strDir.back() != '/') {
    strDir += '/';
  }
  return strDir + KTX_FlashStore::c_szFileName;
}

void Unmap(FlashMapping &roMapping) {
  if (roMapping.pu8Window != nullptr) {
    munmap(roMapping.pu8Window, KTX_FlashStore::c_u32Size);
    roMapping.pu8Window = nullptr;
  }
  if (roMapping.iHandle >= 0) {
    close(roMapping.iHandle);
    roMapping.iHandle = -1;
  }
}

// Brings the file up to the full window, erased. An existing shorter file keeps
// its bytes; only the part beyond it is erased.
bool Extend(int iHandle, off_t iFrom) {
  uint8_t au8Block[65536];
  std::memset(au8Block, 0xFF, sizeof au8Block);
  off_t iAt = iFrom;
  while (iAt < static_cast<off_t>(KTX_FlashStore::c_u32Size)) {
    const size_t uChunk =
        static_cast<size_t>(std::min<off_t>(static_cast<off_t>(sizeof au8Block), KTX_FlashStore::c_u32Size - iAt));
    const ssize_t iWritten = pwrite(iHandle, au8Block, uChunk, iAt);
    if (iWritten < 0 && errno == EINTR) {
      continue;
    }
    if (iWritten <= 0) {
      return false;
    }
    iAt += iWritten;
  }
  return true;
}

int32_t MapLocked(FlashMapping &roMapping) {
  if (roMapping.pu8Window != nullptr) {
    return KTX_RC_OK;
  }
  const std::string strPath = roMapping.strOverride.empty() ? DefaultPath() : roMapping.strOverride;
  roMapping.iHandle = open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (roMapping.iHandle < 0) {
    return KTX_RC_OPERATION_FAILED;
  }
  struct stat oStat {};
  // Exclusive use: another program holding the file makes this one fail.
  if (flock(roMapping.iHandle, LOCK_EX | LOCK_NB) != 0 || fstat(roMapping.iHandle, &oStat) != 0 ||
      !S_ISREG(oStat.st_mode) ||
      (oStat.st_size < static_cast<off_t>(KTX_FlashStore::c_u32Size) && !Extend(roMapping.iHandle, oStat.st_size))) {
    Unmap(roMapping);
    return KTX_RC_OPERATION_FAILED;
  }
  void *pvWindow = mmap(nullptr, KTX_FlashStore::c_u32Size, PROT_READ | PROT_WRITE, MAP_SHARED, roMapping.iHandle, 0);
  if (pvWindow == MAP_FAILED) {
    Unmap(roMapping);
    return KTX_RC_OPERATION_FAILED;
  }
  roMapping.pu8Window = static_cast<uint8_t *>(pvWindow);
  return KTX_RC_OK;
}

} // namespace

int32_t KTX_FlashStore::ReadFlash(uint32_t p_u32Address, uint32_t p_u32Count, uint8_t *p_pu8Destination) {
  const uint64_t u64End = static_cast<uint64_t>(p_u32Address) + p_u32Count;
  if (p_u32Address < c_u32BaseAddress || p_u32Count == 0 || p_pu8Destination == nullptr ||
      u64End > static_cast<uint64_t>(c_u32BaseAddress) + c_u32Size) {
    return KTX_RC_INVALID_PARAMETER;
  }
  FlashMapping &roMapping = Mapping();
  std::lock_guard<std::mutex> oLock(roMapping.oLock);
  const int32_t i32Result = MapLocked(roMapping);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  std::memcpy(p_pu8Destination, roMapping.pu8Window + (p_u32Address - c_u32BaseAddress), p_u32Count);
  return KTX_RC_OK;
}

std::string KTX_FlashStore::GetBackingFilePath() {
  FlashMapping &roMapping = Mapping();
  std::lock_guard<std::mutex> oLock(roMapping.oLock);
  return roMapping.strOverride.empty() ? DefaultPath() : roMapping.strOverride;
}

void KTX_FlashStore::SetBackingFilePath(const std::string &p_strPath) {
  FlashMapping &roMapping = Mapping();
  std::lock_guard<std::mutex> oLock(roMapping.oLock);
  Unmap(roMapping);
  roMapping.strOverride = p_strPath;
}
