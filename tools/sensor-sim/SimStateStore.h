#pragma once
// Keeps an emulated sensor's flash between runs: the configuration record, the
// three program images and the operation log, one file each in the sensor's own
// folder (the state folder given on the command line, then the device id in
// hexadecimal):
//
//   config.rec      the configuration record exactly as the flash holds it:
//                   CRC-32 of the data (4 bytes, little-endian), data length
//                   (4 bytes, little-endian), the data (the configuration file)
//   program-1.img   boot loader image  } as written through file 1, starting
//   program-2.img   burn-in image      } with the image record (SimSoftwareImage.h)
//   program-3.img   normal image       }
//   oplog.bin       the operation log: entries, each ending in one NUL byte
//
// Every file is replaced atomically (written beside, then renamed), so a run that
// is killed halfway leaves either the old or the new content. A store without a
// folder keeps nothing.

#include <cstdint>
#include <string>
#include <vector>

class KTX_SimStateStore {
public:
  KTX_SimStateStore() = default;

  // Creates the folder (and its parents) when missing. KTX_RC_FILE_OPEN_FAILED
  // when it cannot be made.
  int32_t Open(const std::string &p_strFolder);
  bool IsOpen() const { return !c_strFolder.empty(); }
  const std::string &GetFolder() const { return c_strFolder; }

  // Reading a file that is not there: KTX_RC_FILE_NOT_FOUND and an empty vector.
  int32_t Load(const char *p_szName, std::vector<uint8_t> &p_rvu8Data) const;
  int32_t Save(const char *p_szName, const std::vector<uint8_t> &p_rvu8Data) const;

  static const char *ImageFileName(uint32_t p_u32ProgramId);
  static constexpr const char *c_szConfigFile = "config.rec";
  static constexpr const char *c_szLogFile = "oplog.bin";

private:
  std::string c_strFolder;
};
