#pragma once
// One emulated sensor: its state (programs and modes, clock, flash contents,
// open files, operation log) and the handler that answers the supervisor
// requests addressed to it. The handler takes a decoded request and fills the
// payload and result of the response; addressing, faults and the links are the
// engine's (SensorSim.h). Not thread-safe: the engine serialises every call.

#include "sensor-sim/SimSensorConfig.h"
#include "sensor-sim/SimStateStore.h"

#include "runtime/DateTime.h"
#include "runtime/Version.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class KTX_MessageSupervisor;

// Where a request came from.
struct KTX_SimPeer {
  bool bSerial = false;
  uint32_t u32Ip = 0; // host order
  uint16_t u16Port = 0;
  bool operator==(const KTX_SimPeer &p_roOther) const {
    return bSerial == p_roOther.bSerial && u32Ip == p_roOther.u32Ip && u16Port == p_roOther.u16Port;
  }
};

// A copy of the sensor's state for inspection.
struct KTX_SimSensorStatus {
  uint32_t u32ProgramId = 0;
  uint32_t u32ProgramMode = 0;
  bool bRebooting = false;
  bool bRebootPending = false;
  uint32_t u32BootCount = 0;
  KTX_DateTime oBootTime;
  KTX_DateTime oModeChangeTime;
  KTX_DateTime oClock;
  // Versions of the installed images (index = program id 1..3) and of the running program.
  KTX_Version aoInstalled[4];
  KTX_Version oRunning;
  // The configuration record as in flash (header and data), and its data.
  std::vector<uint8_t> vu8ConfigRecord;
  std::vector<uint8_t> vu8Config;
  int32_t i32OpenFiles = 0;
  std::vector<uint32_t> vu32DisplayFormat;
  uint32_t u32DisplayFormatCount = 0;
  std::vector<std::string> vstrLog;
  uint32_t u32SnapshotCount = 0;
};

class KTX_SimSensor {
public:
  // The flash address of the configuration record and the largest configuration.
  static constexpr uint32_t c_u32ConfigAddress = 0x42F00000u;
  static constexpr uint32_t c_u32MaxConfigLength = 0x100000u;
  static constexpr uint32_t c_u32MaxImageLength = 0x800000u;
  static constexpr uint32_t c_u32MaxBlock = 512;
  static constexpr int32_t c_i32MaxOpenFiles = 8;
  static constexpr size_t c_szMaxLogEntries = 500;
  // The countdown a flash commit starts from.
  static constexpr uint32_t c_u32FlashCountdown = 500;

  explicit KTX_SimSensor(const KTX_SimSensorConfig &p_roConfig);

  // Loads the state folder and boots the start program. A state folder that
  // cannot be made: its error, and the sensor runs without one.
  int32_t PowerOn(uint64_t p_u64NowMs);

  const KTX_SimSensorConfig &GetConfig() const { return c_oConfig; }
  const KTX_DeviceAddress::DeviceId &GetDeviceId() const { return c_oConfig.aDeviceId; }
  const KTX_DeviceAddress::MacAddress &GetMac() const { return c_oConfig.aMac; }

  // Silent while rebooting: nothing is received or answered.
  bool IsSilent(uint64_t p_u64NowMs) const;
  // Moves pending reboots along; returns the time of the next event (or UINT64_MAX).
  uint64_t Tick(uint64_t p_u64NowMs);

  // Whether the sensor's own network settings let it send to p_u32Ip directly
  // (host order): its settings are usable and the peer is in its subnet or a
  // gateway in its subnet is set.
  bool CanReach(uint32_t p_u32Ip) const;
  uint32_t GetNetIp() const;

  // Answers one decoded request addressed to this sensor. Returns false when the
  // request is not to be answered at all (a learn request that excludes the
  // sensor); otherwise the response's payload is written into p_roResponse and
  // the result code into p_ri32Result.
  bool Handle(KTX_MessageSupervisor &p_roRequest, const KTX_SimPeer &p_roPeer, uint64_t p_u64NowMs,
              KTX_MessageSupervisor &p_roResponse, int32_t &p_ri32Result);

  KTX_SimSensorStatus GetStatus(uint64_t p_u64NowMs) const;

  // The sensor's clock (UTC plus the offset a time-set request made).
  KTX_DateTime Clock() const;
  // Adds an entry to the operation log (and keeps it in the state folder).
  void AddLogEntry(const char *p_szFormat, ...) __attribute__((format(printf, 2, 3)));

private:
  struct OpenFile {
    uint32_t u32Handle = 0;
    uint32_t u32FileId = 0;
    uint32_t u32Mode = 0;
    uint32_t u32Start = 0;
    uint32_t u32Announced = 0;
    uint32_t u32Limit = 0;
    std::vector<uint8_t> vu8Data;
    KTX_SimPeer oPeer;
    uint64_t u64LastUse = 0;
    bool bCommitted = false;
    uint64_t u64CommitMs = 0;
  };

  int32_t HandleLearn(KTX_MessageSupervisor &p_roRequest, KTX_MessageSupervisor &p_roResponse, bool &p_rbAnswer);
  int32_t WriteIdentity(KTX_MessageSupervisor &p_roResponse);
  int32_t HandleGet(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse);
  int32_t WriteGetItem(uint16_t p_u16Item, uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse);
  int32_t HandleSet(KTX_MessageSupervisor &p_roRequest);
  int32_t HandleSetMode(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs);
  int32_t HandleOpen(KTX_MessageSupervisor &p_roRequest, const KTX_SimPeer &p_roPeer, uint64_t p_u64NowMs,
                     KTX_MessageSupervisor &p_roResponse);
  int32_t HandleClose(KTX_MessageSupervisor &p_roRequest);
  int32_t HandleRead(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse);
  int32_t HandleWrite(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse);
  int32_t HandleFlash(KTX_MessageSupervisor &p_roRequest, uint64_t p_u64NowMs, KTX_MessageSupervisor &p_roResponse);
  int32_t Commit(OpenFile &p_roFile);

  OpenFile *FindFile(uint32_t p_u32Handle);
  void CloseAllFiles();
  void Boot(uint32_t p_u32ProgramId, uint32_t p_u32Mode);
  // 0 good, 1 none, 2 CRC failure, 3 corrupted: the low byte of the normal and
  // flash-writer modes.
  uint32_t ConfigCondition() const;
  bool ConfigData(std::vector<uint8_t> &p_rvu8Data) const;
  void SaveLog();
  int64_t UtcSeconds() const;

  KTX_SimSensorConfig c_oConfig;
  KTX_SimStateStore c_oStore;

  uint32_t c_u32ProgramId;
  uint32_t c_u32ProgramMode;
  uint32_t c_u32BootCount;
  KTX_DateTime c_oBootTime;
  KTX_DateTime c_oModeChangeTime;
  int64_t c_i64BootUtc;
  uint64_t c_u64BootMs;
  int64_t c_i64ClockOffset;
  KTX_Version c_aoInstalled[4];
  KTX_Version c_oRunning;

  bool c_bRebootPending;
  uint64_t c_u64RebootAtMs;
  bool c_bRebooting;
  uint64_t c_u64BackAtMs;
  uint32_t c_u32NextProgramId;
  uint32_t c_u32NextMode;

  std::vector<uint8_t> c_vu8ConfigRecord;
  std::vector<OpenFile> c_voFiles;
  // Handles closed lately, so that a retried close is answered as done.
  std::deque<uint32_t> c_dqClosed;
  uint32_t c_u32NextHandle;

  std::vector<uint32_t> c_vu32DisplayFormat;
  uint32_t c_u32DisplayFormatCount;
  int32_t c_i32SnapshotWidth;
  int32_t c_i32SnapshotHeight;
  uint32_t c_u32SnapshotCount;

  std::deque<std::string> c_dqLog;
};
