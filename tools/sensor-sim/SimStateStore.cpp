#include "sensor-sim/SimStateStore.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int32_t MakeFolders(const std::string &p_strPath) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = p_strPath.find('/', pos + 1);
    partial = p_strPath.substr(0, pos);
    if (partial.empty()) {
      continue;
    }
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      return KTX_RC_FILE_OPEN_FAILED;
    }
  }
  struct stat info {};
  return (stat(p_strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ? KTX_RC_OK : KTX_RC_FILE_OPEN_FAILED;
}

} // namespace

int32_t KTX_SimStateStore::Open(const std::string &p_strFolder) {
  if (p_strFolder.empty()) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const int32_t rc = MakeFolders(p_strFolder);
  if (rc != KTX_RC_OK) {
    KTX_LOG(KTX_ERROR, "SensorSim - cannot create state folder %s", p_strFolder.c_str());
    return rc;
  }
  c_strFolder = p_strFolder;
  return KTX_RC_OK;
}

int32_t KTX_SimStateStore::Load(const char *p_szName, std::vector<uint8_t> &p_rvu8Data) const {
  p_rvu8Data.clear();
  if (!IsOpen()) {
    return KTX_RC_FILE_NOT_FOUND;
  }
  const std::string path = c_strFolder + "/" + p_szName;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return KTX_RC_FILE_NOT_FOUND;
  }
  uint8_t chunk[65536];
  int32_t rc = KTX_RC_OK;
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      rc = KTX_RC_FILE_GENERIC_ERROR;
      p_rvu8Data.clear();
      break;
    }
    if (n == 0) {
      break;
    }
    p_rvu8Data.insert(p_rvu8Data.end(), chunk, chunk + n);
  }
  close(fd);
  return rc;
}

int32_t KTX_SimStateStore::Save(const char *p_szName, const std::vector<uint8_t> &p_rvu8Data) const {
  if (!IsOpen()) {
    return KTX_RC_OK;
  }
  const std::string path = c_strFolder + "/" + p_szName;
  const std::string temporary = path + ".new";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    KTX_LOG(KTX_ERROR, "SensorSim - cannot write %s", temporary.c_str());
    return KTX_RC_FILE_OPEN_FAILED;
  }
  size_t done = 0;
  while (done < p_rvu8Data.size()) {
    const ssize_t n = write(fd, p_rvu8Data.data() + done, p_rvu8Data.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      close(fd);
      unlink(temporary.c_str());
      KTX_LOG(KTX_ERROR, "SensorSim - write to %s failed", temporary.c_str());
      return KTX_RC_FILE_GENERIC_ERROR;
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    KTX_LOG(KTX_ERROR, "SensorSim - cannot replace %s", path.c_str());
    return KTX_RC_FILE_GENERIC_ERROR;
  }
  return KTX_RC_OK;
}

const char *KTX_SimStateStore::ImageFileName(uint32_t p_u32ProgramId) {
  switch (p_u32ProgramId) {
  case 1:
    return "program-1.img";
  case 2:
    return "program-2.img";
  default:
    return "program-3.img";
  }
}
