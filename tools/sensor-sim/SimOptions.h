#pragma once
// Everything the emulator is told at start: its sensors and the settings shared
// by all of them (traffic log, fault injection, COM folder), and the command
// line that fills it.

#include "sensor-sim/SimFaultInjector.h"
#include "sensor-sim/SimSensorConfig.h"

#include <cstdint>
#include <string>
#include <vector>

struct KTX_SimOptions {
  std::vector<KTX_SimSensorConfig> voSensors;
  // "" none, "-" standard output, else a file appended to.
  std::string strTrafficLog;
  uint64_t u64Seed = 1;
  KTX_SimFaultRates aoFaults[2];
  uint32_t u32FaultDelayMs = 300;
  // Folder where pseudo-terminals are linked as COMn.
  std::string strComDir;
  // Make a software file instead of running (see --make-software).
  std::string strMakeSoftware;
  uint32_t u32MakeProgram = 3;
  KTX_Version oMakeVersion;
  uint32_t u32MakeBodyLength = 4096;
  bool bHelp = false;
};

class KTX_SimOptionParser {
public:
  // Parses the command line; on error returns KTX_RC_INVALID_PARAMETER and the
  // reason in p_rstrError.
  static int32_t Parse(int p_iArgc, const char *const *p_ppszArgv, KTX_SimOptions &p_roOptions,
                       std::string &p_rstrError);
  // The --help text, with every behaviour the emulator chose where a sensor's
  // behaviour is not fixed by the protocol.
  static const char *HelpText();

  // "1.2.3", "1.2.3.ab" with an optional build time "YYYY MM DD HH:MM:SS" after a blank.
  static int32_t ParseVersion(const std::string &p_strText, KTX_Version &p_roVersion);
  static int32_t ParseIpv4(const std::string &p_strText, uint32_t &p_ru32Ip);
};
