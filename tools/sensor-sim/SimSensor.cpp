#include "sensor-sim/SimSensor.h"

#include "sensor-sim/SimSnapshot.h"
#include "sensor-sim/SimSoftwareImage.h"

#include "buffers/Crc32.h"
#include "link/MessageIds.h"
#include "link/MessageSupervisor.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr uint32_t c_u32ReadMode = 1;
constexpr uint32_t c_u32WriteMode = 2;
constexpr uint32_t c_u32FileSoftware = 1;
constexpr uint32_t c_u32FileSnapshot = 2;
constexpr uint32_t c_u32FileLog = 3;
constexpr uint32_t c_u32FileConfig = 4;
constexpr size_t c_szClosedMemory = 32;

uint32_t LoadLe32(const uint8_t *p_pu8In) {
  return static_cast<uint32_t>(p_pu8In[0]) | (static_cast<uint32_t>(p_pu8In[1]) << 8) |
         (static_cast<uint32_t>(p_pu8In[2]) << 16) | (static_cast<uint32_t>(p_pu8In[3]) << 24);
}

void StoreLe32(uint8_t *p_pu8Out, uint32_t p_u32Value) {
  for (int i = 0; i < 4; ++i) {
    p_pu8Out[i] = static_cast<uint8_t>(p_u32Value >> (8 * i));
  }
}

KTX_DateTime FromUtc(int64_t p_i64Seconds) {
  const time_t t = static_cast<time_t>(p_i64Seconds);
  struct tm parts {};
  gmtime_r(&t, &parts);
  return KTX_DateTime(static_cast<int16_t>(parts.tm_year + 1900), static_cast<uint8_t>(parts.tm_mon + 1),
                      static_cast<uint8_t>(parts.tm_mday), static_cast<uint8_t>(parts.tm_hour),
                      static_cast<uint8_t>(parts.tm_min), static_cast<uint8_t>(parts.tm_sec));
}

int64_t ToUtc(const KTX_DateTime &p_roTime) {
  struct tm parts {};
  parts.tm_year = p_roTime.GetYear() - 1900;
  parts.tm_mon = p_roTime.GetMonth() - 1;
  parts.tm_mday = p_roTime.GetDay();
  parts.tm_hour = p_roTime.GetHour();
  parts.tm_min = p_roTime.GetMinute();
  parts.tm_sec = p_roTime.GetSecond();
  return static_cast<int64_t>(timegm(&parts));
}

// The base mode of each program, and whether the program accepts it.
bool ValidProgramMode(uint32_t p_u32ProgramId, uint32_t p_u32Mode) {
  const uint32_t base = p_u32Mode & ~0xFFu;
  switch (p_u32ProgramId) {
  case 1:
    return base == 256;
  case 2:
    return base == 512;
  case 3:
    return base == 768 || base == 1024;
  default:
    return false;
  }
}

bool InRange(const uint8_t *p_pu8Id, const uint8_t *p_pu8Low, const uint8_t *p_pu8High) {
  return std::memcmp(p_pu8Id, p_pu8Low, 8) >= 0 && std::memcmp(p_pu8Id, p_pu8High, 8) <= 0;
}

} // namespace

KTX_SimSensor::KTX_SimSensor(const KTX_SimSensorConfig &p_roConfig)
    : c_oConfig(p_roConfig), c_u32ProgramId(0), c_u32ProgramMode(0), c_u32BootCount(0), c_i64BootUtc(0),
      c_u64BootMs(0), c_i64ClockOffset(0), c_bRebootPending(false), c_u64RebootAtMs(0), c_bRebooting(false),
      c_u64BackAtMs(0), c_u32NextProgramId(0), c_u32NextMode(0), c_u32NextHandle(0x46000001u),
      c_u32DisplayFormatCount(0), c_i32SnapshotWidth(p_roConfig.i32SnapshotWidth),
      c_i32SnapshotHeight(p_roConfig.i32SnapshotHeight), c_u32SnapshotCount(0) {
  c_aoInstalled[1] = c_oConfig.oBootLoaderVersion;
  c_aoInstalled[2] = c_oConfig.oBurnInVersion;
  c_aoInstalled[3] = c_oConfig.oSoftwareVersion;
}

int32_t KTX_SimSensor::PowerOn(uint64_t p_u64NowMs) {
  int32_t rc = KTX_RC_OK;
  if (!c_oConfig.strStateFolder.empty()) {
    char id[17];
    for (int i = 0; i < 8; ++i) {
      std::snprintf(id + 2 * i, 3, "%02X", c_oConfig.aDeviceId[static_cast<size_t>(i)]);
    }
    rc = c_oStore.Open(c_oConfig.strStateFolder + "/" + id);
  }
  if (c_oStore.IsOpen()) {
    c_oStore.Load(KTX_SimStateStore::c_szConfigFile, c_vu8ConfigRecord);
    for (uint32_t program = 1; program <= 3; ++program) {
      std::vector<uint8_t> image;
      uint32_t imageProgram = 0;
      KTX_Version version;
      if (c_oStore.Load(KTX_SimStateStore::ImageFileName(program), image) == KTX_RC_OK &&
          KTX_SimSoftwareImage::ReadRecord(image.data(), static_cast<uint32_t>(image.size()), &imageProgram,
                                           &version) == KTX_RC_OK &&
          imageProgram == program) {
        c_aoInstalled[program] = version;
      }
    }
    std::vector<uint8_t> log;
    c_oStore.Load(KTX_SimStateStore::c_szLogFile, log);
    size_t begin = 0;
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == 0) {
        c_dqLog.emplace_back(reinterpret_cast<const char *>(log.data() + begin), i - begin);
        begin = i + 1;
      }
    }
  }
  c_u64BootMs = p_u64NowMs;
  uint32_t mode = 768;
  if (c_oConfig.u32StartProgram == 1) {
    mode = 256;
  } else if (c_oConfig.u32StartProgram == 2) {
    mode = 512;
  }
  Boot(c_oConfig.u32StartProgram, mode);
  c_u64BootMs = p_u64NowMs;
  return rc;
}

int64_t KTX_SimSensor::UtcSeconds() const {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec);
}

KTX_DateTime KTX_SimSensor::Clock() const { return FromUtc(UtcSeconds() + c_i64ClockOffset); }

void KTX_SimSensor::Boot(uint32_t p_u32ProgramId, uint32_t p_u32Mode) {
  CloseAllFiles();
  const uint32_t base = p_u32Mode & ~0xFFu;
  uint32_t mode = base;
  if (base == 768 || base == 1024) {
    mode = base + ConfigCondition();
  }
  // A sensor's boot time always moves on by at least a second, so that whoever
  // watches it can tell that it rebooted.
  int64_t bootUtc = UtcSeconds() + c_i64ClockOffset;
  if (c_u32BootCount > 0 && bootUtc <= c_i64BootUtc) {
    bootUtc = c_i64BootUtc + 1;
  }
  const bool changed = c_u32BootCount == 0 || p_u32ProgramId != c_u32ProgramId || mode != c_u32ProgramMode;
  c_i64BootUtc = bootUtc;
  c_oBootTime = FromUtc(bootUtc);
  if (changed) {
    c_oModeChangeTime = c_oBootTime;
  }
  c_u32ProgramId = p_u32ProgramId;
  c_u32ProgramMode = mode;
  c_oRunning = c_aoInstalled[p_u32ProgramId <= 3 ? p_u32ProgramId : 3];
  ++c_u32BootCount;
  AddLogEntry("Boot: program %u, mode %u, version %s", c_u32ProgramId, c_u32ProgramMode,
              c_oRunning.GetDisplay().c_str());
}

bool KTX_SimSensor::IsSilent(uint64_t p_u64NowMs) const {
  return c_bRebooting || (c_bRebootPending && p_u64NowMs >= c_u64RebootAtMs);
}

uint64_t KTX_SimSensor::Tick(uint64_t p_u64NowMs) {
  if (c_bRebootPending && p_u64NowMs >= c_u64RebootAtMs) {
    c_bRebootPending = false;
    c_bRebooting = true;
    c_u64BackAtMs = c_u64RebootAtMs + c_oConfig.u32RebootMs;
    CloseAllFiles();
  }
  if (c_bRebooting && p_u64NowMs >= c_u64BackAtMs) {
    c_bRebooting = false;
    c_u64BootMs = p_u64NowMs;
    Boot(c_u32NextProgramId, c_u32NextMode);
  }
  if (c_bRebootPending) {
    return c_u64RebootAtMs;
  }
  if (c_bRebooting) {
    return c_u64BackAtMs;
  }
  return UINT64_MAX;
}

uint32_t KTX_SimSensor::GetNetIp() const { return c_oConfig.u32NetIp != 0 ? c_oConfig.u32NetIp : c_oConfig.u32BindIp; }

bool KTX_SimSensor::CanReach(uint32_t p_u32Ip) const {
  const uint32_t ip = GetNetIp();
  const uint32_t mask = c_oConfig.u32NetMask;
  const uint32_t gateway = c_oConfig.u32NetGateway;
  // A mask must be contiguous ones from the top and must leave a host part.
  const bool maskOk = mask != 0xFFFFFFFFu && ((~mask) & ((~mask) + 1)) == 0;
  if (ip == 0 || !maskOk) {
    return false;
  }
  if ((p_u32Ip & mask) == (ip & mask)) {
    return true;
  }
  return gateway != 0 && gateway != ip && (gateway & mask) == (ip & mask);
}

void KTX_SimSensor::AddLogEntry(const char *p_szFormat, ...) {
  char text[512];
  va_list args;
  va_start(args, p_szFormat);
  std::vsnprintf(text, sizeof text, p_szFormat, args);
  va_end(args);
  c_dqLog.push_back(Clock().GetText() + " " + text);
  while (c_dqLog.size() > c_szMaxLogEntries) {
    c_dqLog.pop_front();
  }
  SaveLog();
}

void KTX_SimSensor::SaveLog() {
  if (!c_oStore.IsOpen()) {
    return;
  }
  std::vector<uint8_t> bytes;
  for (const std::string &entry : c_dqLog) {
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    bytes.push_back(0);
  }
  c_oStore.Save(KTX_SimStateStore::c_szLogFile, bytes);
}

uint32_t KTX_SimSensor::ConfigCondition() const {
  const std::vector<uint8_t> &r = c_vu8ConfigRecord;
  if (r.size() < 8) {
    return 1;
  }
  const uint32_t crc = LoadLe32(r.data());
  const uint32_t length = LoadLe32(r.data() + 4);
  if (crc == 0xFFFFFFFFu || length == 0xFFFFFFFFu || (crc == 0 && length == 0)) {
    return 1;
  }
  if (length > c_u32MaxConfigLength || r.size() < 8u + length) {
    return 3;
  }
  return KTX_Crc32Update(0, r.data() + 8, length) == crc ? 0 : 2;
}

bool KTX_SimSensor::ConfigData(std::vector<uint8_t> &p_rvu8Data) const {
  p_rvu8Data.clear();
  const uint32_t condition = ConfigCondition();
  if (condition != 0 && condition != 2) {
    return false;
  }
  const uint32_t length = LoadLe32(c_vu8ConfigRecord.data() + 4);
  p_rvu8Data.assign(c_vu8ConfigRecord.begin() + 8, c_vu8ConfigRecord.begin() + 8 + length);
  return true;
}

KTX_SimSensorStatus KTX_SimSensor::GetStatus(uint64_t p_u64NowMs) const {
  KTX_SimSensorStatus status;
  status.u32ProgramId = c_u32ProgramId;
  status.u32ProgramMode = c_u32ProgramMode;
  status.bRebooting = IsSilent(p_u64NowMs);
  status.bRebootPending = c_bRebootPending;
  status.u32BootCount = c_u32BootCount;
  status.oBootTime = c_oBootTime;
  status.oModeChangeTime = c_oModeChangeTime;
  status.oClock = Clock();
  for (int i = 0; i < 4; ++i) {
    status.aoInstalled[i] = c_aoInstalled[i];
  }
  status.oRunning = c_oRunning;
  status.vu8ConfigRecord = c_vu8ConfigRecord;
  ConfigData(status.vu8Config);
  status.i32OpenFiles = static_cast<int32_t>(c_voFiles.size());
  status.vu32DisplayFormat = c_vu32DisplayFormat;
  status.u32DisplayFormatCount = c_u32DisplayFormatCount;
  status.vstrLog.assign(c_dqLog.begin(), c_dqLog.end());
  status.u32SnapshotCount = c_u32SnapshotCount;
  return status;
}

// ---------------------------------------------------------------------------------------------------------
// Requests

bool KTX_SimSensor::Handle(KTX_MessageSupervisor &p_roRequest, const KTX_SimPeer &p_roPeer, uint64_t p_u64NowMs,
                           KTX_MessageSupervisor &p_roResponse, int32_t &p_ri32Result) {
  bool answer = true;
  int32_t rc = KTX_RC_OK;
  p_roRequest.RewindPayload();
  switch (p_roRequest.GetMessageId()) {
  case KTX_SMI_HELLO:
    rc = WriteIdentity(p_roResponse);
    break;
  case KTX_SMI_ECHO: {
    const int32_t n = p_roRequest.GetRemaining();
    const uint8_t *data = p_roRequest.GetPayloadPointer(n);
    rc = (n > 0 && data != nullptr) ? p_roResponse.PutBytes(data, n) : KTX_RC_OK;
    break;
  }
  case KTX_SMI_LEARN:
    rc = HandleLearn(p_roRequest, p_roResponse, answer);
    break;
  case KTX_SMI_GET:
    rc = HandleGet(p_roRequest, p_u64NowMs, p_roResponse);
    break;
  case KTX_SMI_SET:
    rc = HandleSet(p_roRequest);
    break;
  case KTX_SMI_SET_MODE:
    rc = HandleSetMode(p_roRequest, p_u64NowMs);
    break;
  case KTX_SMI_FILE_OPEN:
    rc = HandleOpen(p_roRequest, p_roPeer, p_u64NowMs, p_roResponse);
    break;
  case KTX_SMI_FILE_CLOSE:
    rc = HandleClose(p_roRequest);
    break;
  case KTX_SMI_FILE_READ_DIRECT:
    rc = HandleRead(p_roRequest, p_u64NowMs, p_roResponse);
    break;
  case KTX_SMI_FILE_WRITE_DIRECT:
    rc = HandleWrite(p_roRequest, p_u64NowMs, p_roResponse);
    break;
  case KTX_SMI_FILE_WRITE_FLASH:
    rc = HandleFlash(p_roRequest, p_u64NowMs, p_roResponse);
    break;
  default:
    rc = KTX_RC_OPERATION_NOT_IMPLEMENTED_YET;
    break;
  }
  p_ri32Result = rc;
  return answer;
}

int32_t KTX_SimSensor::WriteIdentity(KTX_MessageSupervisor &p_roResponse) {
  // Flags: bit 1 the device id follows, bit 3 the MAC address follows.
  int32_t rc = p_roResponse.PutUint32(0x0A);
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutBytes(c_oConfig.aDeviceId.data(), 8);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutBytes(c_oConfig.aMac.data(), 6);
  }
  return rc;
}

int32_t KTX_SimSensor::HandleLearn(KTX_MessageSupervisor &p_roRequest, KTX_MessageSupervisor &p_roResponse,
                                   bool &p_rbAnswer) {
  uint32_t window = 0;
  uint32_t slots = 0;
  uint8_t low[8];
  uint8_t high[8];
  uint32_t count = 0;
  int32_t rc = p_roRequest.GetUint32(&window);
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&slots);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetBytes(low, 8);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetBytes(high, 8);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&count);
  }
  if (rc != KTX_RC_OK) {
    return rc;
  }
  if (!InRange(c_oConfig.aDeviceId.data(), low, high)) {
    p_rbAnswer = false;
    return KTX_RC_OK;
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t id[8];
    rc = p_roRequest.GetBytes(id, 8);
    if (rc != KTX_RC_OK) {
      return rc;
    }
    if (std::memcmp(id, c_oConfig.aDeviceId.data(), 8) == 0) {
      p_rbAnswer = false;
      return KTX_RC_OK;
    }
  }
  return WriteIdentity(p_roResponse);
}

int32_t KTX_SimSensor::HandleGet(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs,
                                 KTX_MessageSupervisor &p_roResponse) {
  if (p_roRequest.GetRemaining() % 2 != 0) {
    return KTX_RC_INVALID_PARAMETER;
  }
  while (p_roRequest.GetRemaining() > 0) {
    uint16_t item = 0;
    int32_t rc = p_roRequest.GetUint16(&item);
    if (rc == KTX_RC_OK) {
      rc = p_roResponse.PutUint16(item);
    }
    if (rc == KTX_RC_OK) {
      rc = WriteGetItem(item, p_u64NowMs, p_roResponse);
    }
    if (rc != KTX_RC_OK) {
      return rc;
    }
  }
  return KTX_RC_OK;
}

int32_t KTX_SimSensor::WriteGetItem(uint16_t p_u16Item, uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse) {
  KTX_MessageSupervisor &r = p_roResponse;
  auto packed32 = [&r](uint32_t p_u32Value) {
    int32_t rc = r.PutPackedUint32(4);
    return rc == KTX_RC_OK ? r.PutUint32(p_u32Value) : rc;
  };
  auto dateTime = [&r](const KTX_DateTime &p_roTime) {
    char text[KTX_DateTime::c_i32TextLength + 1];
    p_roTime.ToText(text, sizeof text);
    int32_t rc = r.PutPackedUint32(KTX_DateTime::c_i32TextLength);
    return rc == KTX_RC_OK ? r.PutBytes(reinterpret_cast<const uint8_t *>(text), KTX_DateTime::c_i32TextLength)
                           : rc;
  };
  auto version = [&r](const KTX_Version &p_roVersion) {
    uint8_t bytes[KTX_Version::c_i32BinaryLength];
    p_roVersion.ToBinary(bytes);
    int32_t rc = r.PutPackedUint32(KTX_Version::c_i32BinaryLength);
    return rc == KTX_RC_OK ? r.PutBytes(bytes, KTX_Version::c_i32BinaryLength) : rc;
  };
  auto oneByte = [&r](uint8_t p_u8Value) {
    int32_t rc = r.PutPackedUint32(1);
    return rc == KTX_RC_OK ? r.PutUint8(p_u8Value) : rc;
  };
  const uint64_t sinceBoot = p_u64NowMs - c_u64BootMs;
  switch (p_u16Item) {
  case KTX_SMIG_HARDWARE_MODEL:
    return oneByte(static_cast<uint8_t>(c_oConfig.u32Model));
  case KTX_SMIG_HARDWARE_VERSION:
    return oneByte(static_cast<uint8_t>(c_oConfig.u32HardwareVersion));
  case KTX_SMIG_DEVICE_ID: {
    int32_t rc = r.PutPackedUint32(8);
    return rc == KTX_RC_OK ? r.PutBytes(c_oConfig.aDeviceId.data(), 8) : rc;
  }
  case KTX_SMIG_ANALOG_VIDEO_OUTPUT:
    return oneByte(c_oConfig.bAnalogVideo ? 1 : 0);
  case KTX_SMIG_LENS_SIZE:
    return packed32(c_oConfig.u32LensSize);
  case KTX_SMIG_CONNECTOR_PIN_OUT:
    return packed32(c_oConfig.u32PinOut);
  case KTX_SMIG_ETHERNET_MAC_ADDRESS: {
    int32_t rc = r.PutPackedUint32(6);
    return rc == KTX_RC_OK ? r.PutBytes(c_oConfig.aMac.data(), 6) : rc;
  }
  case KTX_SMIG_DESCRIPTION_1:
  case KTX_SMIG_DESCRIPTION_2:
  case KTX_SMIG_DESCRIPTION_3:
  case KTX_SMIG_DESCRIPTION_4:
  case KTX_SMIG_DESCRIPTION_5:
  case KTX_SMIG_DESCRIPTION_6:
  case KTX_SMIG_DESCRIPTION_7:
  case KTX_SMIG_DESCRIPTION_8: {
    // One length byte, then UTF-16 little-endian text (narrow text widened, at
    // most 127 characters so that the length fits).
    const std::string text = p_u16Item == KTX_SMIG_DESCRIPTION_1 ? c_oConfig.strDescription : std::string();
    const size_t chars = std::min<size_t>(text.size(), 127);
    int32_t rc = r.PutUint8(static_cast<uint8_t>(chars * 2));
    for (size_t i = 0; i < chars && rc == KTX_RC_OK; ++i) {
      rc = r.PutUint8(static_cast<uint8_t>(text[i]));
      if (rc == KTX_RC_OK) {
        rc = r.PutUint8(0);
      }
    }
    return rc;
  }
  case KTX_SMIG_TIME_LAST_BOOT:
    return dateTime(c_oBootTime);
  case KTX_SMIG_TIME_LAST_MODE_CHANGE:
    return dateTime(c_oModeChangeTime);
  case KTX_SMIG_PROGRAM_ID:
    return packed32(c_u32ProgramId);
  case KTX_SMIG_PROGRAM_MODE:
    return packed32(c_u32ProgramMode);
  case KTX_SMIG_BOOT_LOADER_VERSION:
    return version(c_u32ProgramId == 1 ? c_oRunning : c_aoInstalled[1]);
  case KTX_SMIG_SOFTWARE_VERSION:
    return version(c_u32ProgramId == 1 ? c_aoInstalled[3] : c_oRunning);
  case KTX_SMIG_TIME_OF_COMPILE:
    return dateTime(c_oRunning.GetBuildTime());
  case KTX_SMIG_TICK_MS:
    return packed32(static_cast<uint32_t>(sinceBoot));
  case KTX_SMIG_TICK_US:
    return packed32(static_cast<uint32_t>(sinceBoot * 1000u));
  case KTX_SMIG_TIME:
    return dateTime(Clock());
  default:
    // Items the wizard does not decode take one byte, which it skips.
    return r.PutUint8(0);
  }
}

int32_t KTX_SimSensor::HandleSet(KTX_MessageSupervisor &p_roRequest) {
  uint16_t item = 0;
  int32_t rc = p_roRequest.GetUint16(&item);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  switch (item) {
  case KTX_SMIS_TIME: {
    uint16_t year = 0;
    uint8_t fields[5] = {};
    uint32_t reserved = 0;
    rc = p_roRequest.GetUint16(&year);
    for (int i = 0; i < 5 && rc == KTX_RC_OK; ++i) {
      rc = p_roRequest.GetUint8(&fields[i]);
    }
    if (rc == KTX_RC_OK) {
      rc = p_roRequest.GetUint32(&reserved);
    }
    if (rc != KTX_RC_OK) {
      return rc;
    }
    const KTX_DateTime time(static_cast<int16_t>(year), fields[0], fields[1], fields[2], fields[3], fields[4]);
    if (!time.IsValid()) {
      return KTX_RC_INVALID_PARAMETER;
    }
    c_i64ClockOffset = ToUtc(time) - UtcSeconds();
    AddLogEntry("Clock set");
    return KTX_RC_OK;
  }
  case KTX_SMIS_ZERO_FLASH_CONFIG:
  case KTX_SMIS_ZERO_FLASH_CONFIG_AND_SRAM: {
    uint32_t address = 0;
    uint32_t count = 0;
    rc = p_roRequest.GetUint32(&address);
    if (rc == KTX_RC_OK) {
      rc = p_roRequest.GetUint32(&count);
    }
    if (rc != KTX_RC_OK) {
      return rc;
    }
    const uint64_t end = static_cast<uint64_t>(address) + count;
    if (address < c_u32ConfigAddress || end > static_cast<uint64_t>(c_u32ConfigAddress) + 8 + c_u32MaxConfigLength) {
      return KTX_RC_INVALID_PARAMETER;
    }
    if (c_oConfig.bEraseNeedsFlashWriter && (c_u32ProgramMode & ~0xFFu) == 768) {
      return KTX_RC_OPERATION_NOT_PERMITTED;
    }
    const size_t from = address - c_u32ConfigAddress;
    const size_t to = static_cast<size_t>(end - c_u32ConfigAddress);
    // Flash that was never written reads as erased (0xFF).
    if (c_vu8ConfigRecord.size() < to) {
      c_vu8ConfigRecord.resize(to, 0xFF);
    }
    std::fill(c_vu8ConfigRecord.begin() + static_cast<long>(from), c_vu8ConfigRecord.begin() + static_cast<long>(to),
              0);
    c_oStore.Save(KTX_SimStateStore::c_szConfigFile, c_vu8ConfigRecord);
    AddLogEntry("Configuration erased (%u bytes at 0x%08X)", count, address);
    return KTX_RC_OK;
  }
  case KTX_SMIS_VIDEO_DISPLAY_FORMAT: {
    std::vector<uint32_t> values;
    while (p_roRequest.GetRemaining() > 0) {
      uint32_t value = 0;
      rc = p_roRequest.GetPackedUint32(&value);
      if (rc != KTX_RC_OK) {
        return rc;
      }
      values.push_back(value);
    }
    // The stream resolution is the value after 22 (1 VGA, 2 QVGA, 4 QQVGA).
    for (size_t i = 0; i + 1 < values.size(); ++i) {
      if (values[i] != 22) {
        continue;
      }
      if (values[i + 1] == 1) {
        c_i32SnapshotWidth = 640;
        c_i32SnapshotHeight = 480;
      } else if (values[i + 1] == 2) {
        c_i32SnapshotWidth = 320;
        c_i32SnapshotHeight = 240;
      } else if (values[i + 1] == 4) {
        c_i32SnapshotWidth = 160;
        c_i32SnapshotHeight = 120;
      }
    }
    c_vu32DisplayFormat = values;
    ++c_u32DisplayFormatCount;
    return KTX_RC_OK;
  }
  case KTX_SMIS_SRAM_CLEAR_USER:
  case KTX_SMIS_SRAM_CLEAR_EXTENDED:
  case KTX_SMIS_VIDEO_STATS_RESET:
  case KTX_SMIS_VIDEO_APPLY_CAMERA_DEFAULTS:
    return KTX_RC_OK;
  case KTX_SMIS_CAMERA_REGISTER:
    return KTX_RC_OPERATION_NOT_IMPLEMENTED_YET;
  default:
    return KTX_RC_INVALID_PARAMETER;
  }
}

int32_t KTX_SimSensor::HandleSetMode(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs) {
  uint32_t delay = 0;
  uint32_t program = 0;
  uint32_t mode = 0;
  int32_t rc = p_roRequest.GetUint32(&delay);
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&program);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&mode);
  }
  if (rc != KTX_RC_OK) {
    return rc;
  }
  if (!ValidProgramMode(program, mode) || delay > 600000) {
    return KTX_RC_INVALID_PARAMETER;
  }
  // A later order replaces one still waiting (the wizard orders twice, the
  // second time with a short delay).
  c_bRebootPending = true;
  c_u64RebootAtMs = p_u64NowMs + delay;
  c_u32NextProgramId = program;
  c_u32NextMode = mode;
  AddLogEntry("Mode change ordered: program %u, mode %u, in %u ms", program, mode, delay);
  return KTX_RC_OK;
}

// ---------------------------------------------------------------------------------------------------------
// Files

KTX_SimSensor::OpenFile *KTX_SimSensor::FindFile(uint32_t p_u32Handle) {
  for (OpenFile &file : c_voFiles) {
    if (file.u32Handle == p_u32Handle) {
      return &file;
    }
  }
  return nullptr;
}

void KTX_SimSensor::CloseAllFiles() {
  for (const OpenFile &file : c_voFiles) {
    c_dqClosed.push_back(file.u32Handle);
  }
  c_voFiles.clear();
  while (c_dqClosed.size() > c_szClosedMemory) {
    c_dqClosed.pop_front();
  }
}

int32_t KTX_SimSensor::HandleOpen(KTX_MessageSupervisor &p_roRequest, const KTX_SimPeer &p_roPeer,
                                  uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse) {
  uint32_t fields[5] = {};
  for (uint32_t &field : fields) {
    const int32_t rc = p_roRequest.GetUint32(&field);
    if (rc != KTX_RC_OK) {
      return rc;
    }
  }
  // Snapshot options: the first is kept as given, the second is the JPEG quality.
  uint32_t options[2] = {1, 50};
  for (uint32_t &option : options) {
    if (p_roRequest.GetRemaining() >= 4) {
      p_roRequest.GetUint32(&option);
    }
  }
  const uint32_t fileId = fields[0];
  const uint32_t mode = fields[1];
  OpenFile file;
  file.u32FileId = fileId;
  file.u32Mode = mode;
  file.u32Start = fields[2];
  file.oPeer = p_roPeer;
  file.u64LastUse = p_u64NowMs;
  if (mode != c_u32ReadMode && mode != c_u32WriteMode) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (mode == c_u32WriteMode) {
    if (fileId != c_u32FileSoftware && fileId != c_u32FileConfig) {
      return fileId == c_u32FileSnapshot || fileId == c_u32FileLog ? KTX_RC_OPERATION_NOT_PERMITTED
                                                                   : KTX_RC_FILE_ACCESS_NOT_SUPPORTED;
    }
    file.u32Limit = fileId == c_u32FileConfig ? c_u32MaxConfigLength : c_u32MaxImageLength;
    file.u32Announced = fields[4];
    if (file.u32Announced > file.u32Limit) {
      return KTX_RC_FILE_TOO_BIG;
    }
    // A second writer of the same file: from the same peer it is a retried open
    // whose answer was lost, and replaces the first; from anyone else it conflicts.
    for (auto it = c_voFiles.begin(); it != c_voFiles.end(); ++it) {
      if (it->u32FileId == fileId && it->u32Mode == c_u32WriteMode) {
        if (!(it->oPeer == p_roPeer)) {
          return KTX_RC_FILE_CONFLICTING_FILE_ALREADY_OPEN;
        }
        c_dqClosed.push_back(it->u32Handle);
        c_voFiles.erase(it);
        break;
      }
    }
  } else {
    switch (fileId) {
    case c_u32FileSnapshot: {
      const int32_t rc = KTX_SimSnapshot::Encode(c_i32SnapshotWidth, c_i32SnapshotHeight, c_u32SnapshotCount,
                                                 static_cast<int32_t>(std::min<uint32_t>(options[1], 100)),
                                                 file.vu8Data);
      if (rc != KTX_RC_OK) {
        return rc;
      }
      ++c_u32SnapshotCount;
      break;
    }
    case c_u32FileLog:
      for (const std::string &entry : c_dqLog) {
        file.vu8Data.insert(file.vu8Data.end(), entry.begin(), entry.end());
        file.vu8Data.push_back(0);
      }
      break;
    case c_u32FileConfig: {
      const uint32_t condition = ConfigCondition();
      if (condition == 1) {
        return KTX_RC_FILE_NOT_FOUND;
      }
      if (condition == 3) {
        return KTX_RC_FILE_INVALID_FORMAT;
      }
      ConfigData(file.vu8Data);
      break;
    }
    case c_u32FileSoftware:
      return KTX_RC_OPERATION_NOT_PERMITTED;
    default:
      return KTX_RC_FILE_ACCESS_NOT_SUPPORTED;
    }
  }
  if (static_cast<int32_t>(c_voFiles.size()) >= c_i32MaxOpenFiles) {
    // Peers that vanish leave handles behind; the one unused longest makes room.
    auto oldest = std::min_element(c_voFiles.begin(), c_voFiles.end(), [](const OpenFile &a, const OpenFile &b) {
      return a.u64LastUse < b.u64LastUse;
    });
    c_dqClosed.push_back(oldest->u32Handle);
    c_voFiles.erase(oldest);
  }
  file.u32Handle = c_u32NextHandle++;
  c_voFiles.push_back(std::move(file));
  while (c_dqClosed.size() > c_szClosedMemory) {
    c_dqClosed.pop_front();
  }
  return p_roResponse.PutUint32(c_voFiles.back().u32Handle);
}

int32_t KTX_SimSensor::HandleClose(KTX_MessageSupervisor &p_roRequest) {
  uint32_t handle = 0;
  const int32_t rc = p_roRequest.GetUint32(&handle);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  for (auto it = c_voFiles.begin(); it != c_voFiles.end(); ++it) {
    if (it->u32Handle == handle) {
      c_dqClosed.push_back(handle);
      c_voFiles.erase(it);
      while (c_dqClosed.size() > c_szClosedMemory) {
        c_dqClosed.pop_front();
      }
      return KTX_RC_OK;
    }
  }
  // A close repeated because its answer was lost finds the file closed already.
  return std::find(c_dqClosed.begin(), c_dqClosed.end(), handle) != c_dqClosed.end() ? KTX_RC_OK
                                                                                      : KTX_RC_INVALID_PARAMETER;
}

int32_t KTX_SimSensor::HandleRead(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs,
                                  KTX_MessageSupervisor &p_roResponse) {
  uint32_t handle = 0;
  uint32_t address = 0;
  uint32_t wanted = 0;
  int32_t rc = p_roRequest.GetUint32(&handle);
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&address);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&wanted);
  }
  if (rc != KTX_RC_OK) {
    return rc;
  }
  OpenFile *file = FindFile(handle);
  if (file == nullptr || file->u32Mode != c_u32ReadMode) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint64_t end = static_cast<uint64_t>(file->u32Start) + file->vu8Data.size();
  if (address < file->u32Start || address > end) {
    return KTX_RC_INVALID_PARAMETER;
  }
  file->u64LastUse = p_u64NowMs;
  const uint32_t offset = address - file->u32Start;
  const uint32_t count =
      static_cast<uint32_t>(std::min<uint64_t>({wanted, c_u32MaxBlock, file->vu8Data.size() - offset}));
  const uint8_t status = (static_cast<uint64_t>(address) + count >= end) ? 1 : 0;
  rc = p_roResponse.PutUint32(handle);
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(file->u32Start);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(static_cast<uint32_t>(end));
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(address);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(count);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint8(status);
  }
  if (rc == KTX_RC_OK && count > 0) {
    rc = p_roResponse.PutBytes(file->vu8Data.data() + offset, static_cast<int32_t>(count));
  }
  return rc;
}

int32_t KTX_SimSensor::HandleWrite(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs,
                                   KTX_MessageSupervisor &p_roResponse) {
  uint32_t handle = 0;
  uint32_t address = 0;
  uint32_t count = 0;
  int32_t rc = p_roRequest.GetUint32(&handle);
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&address);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roRequest.GetUint32(&count);
  }
  if (rc != KTX_RC_OK) {
    return rc;
  }
  OpenFile *file = FindFile(handle);
  if (file == nullptr || file->u32Mode != c_u32WriteMode) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (count > c_u32MaxBlock || static_cast<uint32_t>(p_roRequest.GetRemaining()) < count) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (address < file->u32Start || static_cast<uint64_t>(address) - file->u32Start + count > file->u32Limit) {
    return KTX_RC_BUFFER_OVERFLOW;
  }
  if (file->bCommitted) {
    return KTX_RC_OPERATION_NOT_PERMITTED;
  }
  const uint8_t *data = p_roRequest.GetPayloadPointer(static_cast<int32_t>(count));
  const size_t offset = address - file->u32Start;
  if (file->vu8Data.size() < offset + count) {
    file->vu8Data.resize(offset + count, 0);
  }
  if (count > 0 && data != nullptr) {
    std::memcpy(file->vu8Data.data() + offset, data, count);
  }
  file->u64LastUse = p_u64NowMs;
  rc = p_roResponse.PutUint32(handle);
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(address);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(count);
  }
  return rc;
}

int32_t KTX_SimSensor::Commit(OpenFile &p_roFile) {
  if (p_roFile.u32Announced != 0 && p_roFile.vu8Data.size() != p_roFile.u32Announced) {
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  const uint32_t length = static_cast<uint32_t>(p_roFile.vu8Data.size());
  if (p_roFile.u32FileId == c_u32FileConfig) {
    std::vector<uint8_t> record(8 + length);
    StoreLe32(record.data(), KTX_Crc32Update(0, p_roFile.vu8Data.data(), length));
    StoreLe32(record.data() + 4, length);
    if (length > 0) {
      std::memcpy(record.data() + 8, p_roFile.vu8Data.data(), length);
    }
    const int32_t rc = c_oStore.Save(KTX_SimStateStore::c_szConfigFile, record);
    if (rc != KTX_RC_OK) {
      return KTX_RC_FLASH_WRITE_ERROR;
    }
    c_vu8ConfigRecord.swap(record);
    AddLogEntry("Configuration written (%u bytes)", length);
    return KTX_RC_OK;
  }
  uint32_t program = 0;
  KTX_Version version;
  if (KTX_SimSoftwareImage::ReadRecord(p_roFile.vu8Data.data(), length, &program, &version) != KTX_RC_OK) {
    AddLogEntry("Software image refused (%u bytes)", length);
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  if (c_oStore.Save(KTX_SimStateStore::ImageFileName(program), p_roFile.vu8Data) != KTX_RC_OK) {
    return KTX_RC_FLASH_WRITE_ERROR;
  }
  c_aoInstalled[program] = version;
  AddLogEntry("Software installed: program %u, version %s", program, version.GetDisplay().c_str());
  return KTX_RC_OK;
}

int32_t KTX_SimSensor::HandleFlash(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs,
                                   KTX_MessageSupervisor &p_roResponse) {
  uint32_t handle = 0;
  int32_t rc = p_roRequest.GetUint32(&handle);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  OpenFile *file = FindFile(handle);
  if (file == nullptr || file->u32Mode != c_u32WriteMode) {
    return KTX_RC_INVALID_PARAMETER;
  }
  file->u64LastUse = p_u64NowMs;
  if (!file->bCommitted) {
    // The data is made durable at once; the countdown only shows the commit's
    // progress the way the flash-writing program reports it.
    rc = Commit(*file);
    if (rc != KTX_RC_OK) {
      return rc;
    }
    file->bCommitted = true;
    file->u64CommitMs = p_u64NowMs;
  }
  uint32_t countdown = 0;
  const uint64_t elapsed = p_u64NowMs - file->u64CommitMs;
  if (elapsed < c_oConfig.u32FlashMs) {
    countdown = static_cast<uint32_t>((c_oConfig.u32FlashMs - elapsed) * c_u32FlashCountdown / c_oConfig.u32FlashMs);
    if (countdown == 0) {
      countdown = 1;
    }
  }
  rc = p_roResponse.PutUint32(handle);
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(countdown);
  }
  if (rc == KTX_RC_OK) {
    rc = p_roResponse.PutUint32(0);
  }
  return rc;
}
