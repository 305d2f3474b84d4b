#include "sensor-sim/SimOptions.h"

#include "runtime/ReturnCode.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char c_szHelp[] =
    "Usage: tarnvel-sensor-sim [options] [--sensor [options]]...\n"
    "       tarnvel-sensor-sim --make-software FILE [--program N] [--version V] [--body-bytes N]\n"
    "\n"
    "Emulates sensors of the supervisor protocol on UDP and on pseudo-terminal RS-485 buses.\n"
    "Each --sensor starts another sensor; options before the first --sensor, and after each,\n"
    "describe the sensor being defined (a new one starts from the defaults).\n"
    "\n"
    "Link (per sensor):\n"
    "  --udp [ADDR][:PORT]     UDP on ADDR (default 127.0.0.1) and PORT (default 5150, 0 = ephemeral)\n"
    "  --pty [NAME]            a pseudo-terminal RS-485 bus; sensors naming the same bus share it\n"
    "  --com N                 also link the bus's device as COMn in the COM folder\n"
    "  --count N               N sensors like this one: UDP addresses and device ids count up\n"
    "                          from the given ones (127.0.0.1, 127.0.0.2, ...); pty sensors share the bus\n"
    "Identity and hardware (per sensor):\n"
    "  --model 1|2|3           Pedestrian Waiting Area, Pedestrian On-Crossing, Vehicle Call (1)\n"
    "  --device-id HEX16       device id (0A00000000000001)\n"
    "  --mac MAC               Ethernet MAC address (02-54-56-00-00-01)\n"
    "  --hardware-version N    (1)\n"
    "  --analog-video 0|1      analog video output present (1)\n"
    "  --lens-size N, --pin-out N  (8, 1)\n"
    "  --description TEXT      description 1\n"
    "  --boot-loader-version V, --burn-in-version V, --software-version V\n"
    "                          versions of installed programs without an image in the state folder;\n"
    "                          V is 1.2.3 or 1.2.3.ab, optionally followed by \" YYYY MM DD HH:MM:SS\"\n"
    "  --program 1|2|3         program at power-on: boot loader, burn-in, normal (3)\n"
    "Network settings (per sensor; wrong ones make a misconfigured sensor):\n"
    "  --net-ip A, --net-mask M, --net-gateway G   (the bind address, 255.0.0.0, none)\n"
    "Timing and state (per sensor):\n"
    "  --reboot-ms MS          silence while rebooting (3000)\n"
    "  --flash-ms MS           duration of a flash commit's countdown (3000)\n"
    "  --erase-needs-flash-writer  the normal program refuses a configuration erase\n"
    "  --snapshot-size WxH     one camera picture when no display format chose one (320x240)\n"
    "  --state DIR             keep configuration, software and operation log in DIR/<device id>/\n"
    "Shared by all sensors:\n"
    "  --com-dir DIR           COM folder ($TARNVEL_COM_DIR, else $XDG_CONFIG_HOME/tarnvel/com)\n"
    "  --traffic-log FILE|-    one decoded line per message, fault and dropped datagram\n"
    "  --seed N                seed of the fault injection (1)\n"
    "  --drop P, --delay P, --duplicate P, --corrupt P   fraction 0..1 of messages, both directions\n"
    "  --drop-in P ... --corrupt-in P, --drop-out P ... --corrupt-out P   one direction only\n"
    "  --delay-ms MS           how long a delayed message is held (300)\n"
    "  --help\n"
    "\n"
    "Where the protocol leaves a sensor's behaviour open, this emulator does the following:\n"
    "- Responses: after a 0xB1 request a 0xB2 response whose destination part carries the\n"
    "  requester's device id when it sent one (else 0xC1) and whose source part carries the\n"
    "  sensor's id; after a 0xB3 request a 0xB4 response with no address options (the wizard\n"
    "  compares options with its own all-zero identity and would drop a DevIDInc).\n"
    "- LEARN: answered at once when the sensor's id lies in the id range (inclusive, compared\n"
    "  byte by byte) and is not in the payload's exclusion list; the first two numbers (500, 10)\n"
    "  are read and ignored. The reply, and the reply to HELLO, is flags 0x0000000A, the device\n"
    "  id and the MAC address. ECHO returns the request's payload.\n"
    "- A request arriving over UDP from a peer outside the sensor's configured subnet (and with\n"
    "  no usable gateway) is not answered unless it asks for a broadcast response; broadcast\n"
    "  responses go to the link's broadcast address (127.255.255.255 on loopback addresses,\n"
    "  else 255.255.255.255) and the requester's port. UDP sensors also listen on that address.\n"
    "- GET: items the wizard does not decode (4-7, 86, 89, 132-135, 160, 192, unknown) are\n"
    "  answered with one zero byte. Descriptions 2-8 are empty. Ticks count from the last boot.\n"
    "  The software version is the running program's, taken from its image when it booted.\n"
    "- SET: time sets the clock (an invalid date: 200); items 6 and 7 zero flash bytes inside the\n"
    "  configuration record area (0x42F00000 .. +8+1 MiB, else 200), in every program unless\n"
    "  --erase-needs-flash-writer (then 204 in the normal program); item 9 records the packed\n"
    "  numbers and takes the stream resolution after 22 (1 VGA, 2 QVGA, 4 QQVGA) for snapshots;\n"
    "  items 3, 4, 5, 8 are accepted without effect; 10 gives 206, others 200.\n"
    "- SET_MODE: program/mode pairs 1/256.., 2/512.., 3/768.. and 3/1024.. are accepted (else\n"
    "  200); after the delay the sensor is silent for --reboot-ms, then boots into the program.\n"
    "  The low byte of modes 768 and 1024 is the configuration's state at boot (0 good, 1 none,\n"
    "  2 CRC failure, 3 corrupted); a later order replaces a pending one; the boot time moves\n"
    "  on by at least one second per boot; the operation log records every boot.\n"
    "- Files: 1 software (write only), 2 snapshot and 3 operation log (read only), 4\n"
    "  configuration (read and write); other ids 604, a wrong direction 204. Reading file 4\n"
    "  with no configuration stored gives 606. Up to 8 files are open; one more closes the one\n"
    "  unused longest. Reopening a file for writing from the same peer replaces the earlier\n"
    "  handle (a retried open), from another peer gives 603. Closing a recently closed handle\n"
    "  succeeds (a retried close). A reboot closes every file.\n"
    "- FILE_READ_DIRECT: at most 512 bytes; EndAddr is one past the file's last byte; status 1\n"
    "  on the block that reaches the end, never 2. FILE_WRITE_DIRECT answers handle, address\n"
    "  and byte count.\n"
    "- FILE_WRITE_FLASH: files 1 and 4 are stored durably at the first request; the countdown\n"
    "  then runs from 500 to 0 over --flash-ms; the error count is 0. The file must have the\n"
    "  length announced at open (else 607). A write closed without a flash request changes\n"
    "  nothing. Software images must start with the image record below (else 607).\n"
    "- Snapshots: one JPEG, the left camera above the right, rendered from a synthetic crossing\n"
    "  for two camera positions 0.25 m apart (real disparity); the open's second option is the\n"
    "  JPEG quality (50 when absent), the first is ignored; the pedestrians move on per snapshot.\n"
    "- Operation log entries are \"YYYY MM DD HH:MM:SS text\"; the latest 500 are kept.\n"
    "- Legacy requests without address part and CRC are not answered.\n"
    "\n"
    "Software image record (the sensor never sees a software file's header): every image starts\n"
    "with \"KTXIMAGE\", the program id (4 bytes, little-endian), the 15-byte binary version\n"
    "record, a zero byte and the image length (4 bytes, little-endian). --make-software writes a\n"
    "software file that follows it.\n";

bool ParseNumber(const std::string &p_strText, uint64_t p_u64Max, uint64_t &p_ru64Value) {
  if (p_strText.empty()) {
    return false;
  }
  char *end = nullptr;
  const unsigned long long value = std::strtoull(p_strText.c_str(), &end, 0);
  if (end == nullptr || *end != '\0' || value > p_u64Max || p_strText[0] == '-') {
    return false;
  }
  p_ru64Value = value;
  return true;
}

bool ParseFraction(const std::string &p_strText, double &p_rf64Value) {
  char *end = nullptr;
  const double value = std::strtod(p_strText.c_str(), &end);
  if (p_strText.empty() || end == nullptr || *end != '\0' || !(value >= 0.0 && value <= 1.0)) {
    return false;
  }
  p_rf64Value = value;
  return true;
}

bool ParseHexId(const std::string &p_strText, KTX_DeviceAddress::DeviceId &p_raId) {
  if (p_strText.size() != 16) {
    return false;
  }
  for (size_t i = 0; i < 8; ++i) {
    char pair[3] = {p_strText[2 * i], p_strText[2 * i + 1], 0};
    char *end = nullptr;
    const long value = std::strtol(pair, &end, 16);
    if (end != pair + 2) {
      return false;
    }
    p_raId[i] = static_cast<uint8_t>(value);
  }
  return true;
}

void AddToId(KTX_DeviceAddress::DeviceId &p_raId, uint32_t p_u32Add) {
  uint32_t carry = p_u32Add;
  for (int i = 7; i >= 0 && carry != 0; --i) {
    const uint32_t sum = p_raId[static_cast<size_t>(i)] + carry;
    p_raId[static_cast<size_t>(i)] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
}

} // namespace

const char *KTX_SimOptionParser::HelpText() { return c_szHelp; }

int32_t KTX_SimOptionParser::ParseVersion(const std::string &p_strText, KTX_Version &p_roVersion) {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
  int consumed = 0;
  if (std::sscanf(p_strText.c_str(), "%u.%u.%u%n", &major, &minor, &build, &consumed) != 3 || major > 255 ||
      minor > 255 || build > 65535) {
    return KTX_RC_INVALID_PARAMETER;
  }
  std::string rest = p_strText.substr(static_cast<size_t>(consumed));
  char letters[4] = {0, 0, 0, 0};
  if (!rest.empty() && rest[0] == '.') {
    size_t n = 1;
    while (n < rest.size() && n <= 3 && std::isalpha(static_cast<unsigned char>(rest[n]))) {
      letters[n - 1] = rest[n];
      ++n;
    }
    rest = rest.substr(n);
  }
  KTX_DateTime built;
  if (!rest.empty()) {
    if (rest[0] != ' ' || rest.size() != 1 + KTX_DateTime::c_i32TextLength) {
      return KTX_RC_INVALID_PARAMETER;
    }
    built.FromText(rest.c_str() + 1, KTX_DateTime::c_i32TextLength);
    if (!built.IsValid()) {
      return KTX_RC_INVALID_PARAMETER;
    }
  }
  p_roVersion = KTX_Version(static_cast<uint8_t>(major), static_cast<uint8_t>(minor), static_cast<uint16_t>(build),
                            letters, built);
  return KTX_RC_OK;
}

int32_t KTX_SimOptionParser::ParseIpv4(const std::string &p_strText, uint32_t &p_ru32Ip) {
  in_addr address {};
  if (inet_pton(AF_INET, p_strText.c_str(), &address) != 1) {
    return KTX_RC_INVALID_PARAMETER;
  }
  p_ru32Ip = ntohl(address.s_addr);
  return KTX_RC_OK;
}

int32_t KTX_SimOptionParser::Parse(int p_iArgc, const char *const *p_ppszArgv, KTX_SimOptions &p_roOptions,
                                   std::string &p_rstrError) {
  p_roOptions = KTX_SimOptions();
  KTX_SimSensorConfig current;
  std::vector<std::pair<KTX_SimSensorConfig, uint32_t>> defined;
  uint32_t count = 1;
  std::string sharedState;
  bool stateGiven = false;
  auto fail = [&p_rstrError](const std::string &p_strWhy) {
    p_rstrError = p_strWhy;
    return static_cast<int32_t>(KTX_RC_INVALID_PARAMETER);
  };
  for (int i = 1; i < p_iArgc; ++i) {
    const std::string option = p_ppszArgv[i];
    const bool hasValue = i + 1 < p_iArgc;
    auto value = [&]() -> std::string { return hasValue ? std::string(p_ppszArgv[++i]) : std::string(); };
    // Options whose value is optional take the next word only when it is not an option.
    auto optionalValue = [&]() -> std::string {
      if (i + 1 < p_iArgc && p_ppszArgv[i + 1][0] != '-') {
        return p_ppszArgv[++i];
      }
      return std::string();
    };
    uint64_t number = 0;
    double fraction = 0;
    if (option == "--help" || option == "-h") {
      p_roOptions.bHelp = true;
    } else if (option == "--sensor") {
      defined.emplace_back(current, count);
      current = KTX_SimSensorConfig();
      count = 1;
    } else if (option == "--udp") {
      std::string text = optionalValue();
      current.bSerial = false;
      const size_t colon = text.rfind(':');
      std::string host = colon == std::string::npos ? text : text.substr(0, colon);
      if (colon != std::string::npos) {
        if (!ParseNumber(text.substr(colon + 1), 65535, number)) {
          return fail("bad port in --udp " + text);
        }
        current.u16Port = static_cast<uint16_t>(number);
      }
      if (!host.empty() && ParseIpv4(host, current.u32BindIp) != KTX_RC_OK) {
        return fail("bad address in --udp " + text);
      }
    } else if (option == "--pty") {
      current.bSerial = true;
      std::string name = optionalValue();
      if (!name.empty()) {
        current.strBus = name;
      }
    } else if (option == "--com") {
      if (!ParseNumber(value(), 255, number) || number == 0) {
        return fail("--com takes a port number 1..255");
      }
      current.i32ComPort = static_cast<int32_t>(number);
    } else if (option == "--count") {
      if (!ParseNumber(value(), 250, number) || number == 0) {
        return fail("--count takes 1..250");
      }
      count = static_cast<uint32_t>(number);
    } else if (option == "--model") {
      if (!ParseNumber(value(), 3, number) || number == 0) {
        return fail("--model takes 1, 2 or 3");
      }
      current.u32Model = static_cast<uint32_t>(number);
    } else if (option == "--device-id") {
      if (!ParseHexId(value(), current.aDeviceId)) {
        return fail("--device-id takes 16 hexadecimal digits");
      }
    } else if (option == "--mac") {
      const std::string text = value();
      KTX_DeviceAddress address;
      if (address.SetMacAddress(reinterpret_cast<const uint8_t *>(text.c_str()), static_cast<int32_t>(text.size())) !=
          KTX_RC_OK) {
        return fail("--mac takes a MAC address such as 02-54-56-00-00-01");
      }
      current.aMac = address.GetMacAddress();
    } else if (option == "--hardware-version") {
      if (!ParseNumber(value(), 255, number)) {
        return fail("--hardware-version takes 0..255");
      }
      current.u32HardwareVersion = static_cast<uint32_t>(number);
    } else if (option == "--analog-video") {
      if (!ParseNumber(value(), 1, number)) {
        return fail("--analog-video takes 0 or 1");
      }
      current.bAnalogVideo = number != 0;
    } else if (option == "--lens-size" || option == "--pin-out") {
      if (!ParseNumber(value(), 0xFFFFFFFFu, number)) {
        return fail(option + " takes a number");
      }
      (option == "--lens-size" ? current.u32LensSize : current.u32PinOut) = static_cast<uint32_t>(number);
    } else if (option == "--description") {
      current.strDescription = value();
    } else if (option == "--boot-loader-version" || option == "--burn-in-version" || option == "--software-version") {
      KTX_Version &target = option == "--boot-loader-version" ? current.oBootLoaderVersion
                            : option == "--burn-in-version"   ? current.oBurnInVersion
                                                              : current.oSoftwareVersion;
      if (ParseVersion(value(), target) != KTX_RC_OK) {
        return fail(option + " takes a version such as 2.3.17.a or \"2.3.17.a 2017 06 01 12:00:00\"");
      }
    } else if (option == "--program") {
      if (!ParseNumber(value(), 3, number) || number == 0) {
        return fail("--program takes 1, 2 or 3");
      }
      current.u32StartProgram = static_cast<uint32_t>(number);
      p_roOptions.u32MakeProgram = static_cast<uint32_t>(number);
    } else if (option == "--net-ip" || option == "--net-mask" || option == "--net-gateway") {
      uint32_t &target = option == "--net-ip" ? current.u32NetIp
                         : option == "--net-mask" ? current.u32NetMask
                                                  : current.u32NetGateway;
      if (ParseIpv4(value(), target) != KTX_RC_OK) {
        return fail(option + " takes a dotted IPv4 address");
      }
    } else if (option == "--reboot-ms" || option == "--flash-ms") {
      if (!ParseNumber(value(), 600000, number)) {
        return fail(option + " takes milliseconds (at most 600000)");
      }
      (option == "--reboot-ms" ? current.u32RebootMs : current.u32FlashMs) = static_cast<uint32_t>(number);
    } else if (option == "--erase-needs-flash-writer") {
      current.bEraseNeedsFlashWriter = true;
    } else if (option == "--snapshot-size") {
      int width = 0;
      int height = 0;
      const std::string text = value();
      if (std::sscanf(text.c_str(), "%dx%d", &width, &height) != 2 || width < 16 || height < 16 || width > 2048 ||
          height > 1024) {
        return fail("--snapshot-size takes WxH, 16..2048 x 16..1024");
      }
      current.i32SnapshotWidth = width;
      current.i32SnapshotHeight = height;
    } else if (option == "--state") {
      current.strStateFolder = value();
      if (current.strStateFolder.empty()) {
        return fail("--state takes a folder");
      }
      sharedState = current.strStateFolder;
      stateGiven = true;
    } else if (option == "--com-dir") {
      p_roOptions.strComDir = value();
    } else if (option == "--traffic-log") {
      p_roOptions.strTrafficLog = value();
      if (p_roOptions.strTrafficLog.empty()) {
        return fail("--traffic-log takes a file or -");
      }
    } else if (option == "--seed") {
      if (!ParseNumber(value(), UINT64_MAX, number)) {
        return fail("--seed takes a number");
      }
      p_roOptions.u64Seed = number;
    } else if (option == "--delay-ms") {
      if (!ParseNumber(value(), 60000, number)) {
        return fail("--delay-ms takes milliseconds (at most 60000)");
      }
      p_roOptions.u32FaultDelayMs = static_cast<uint32_t>(number);
    } else if (option.rfind("--drop", 0) == 0 || option.rfind("--delay", 0) == 0 ||
               option.rfind("--duplicate", 0) == 0 || option.rfind("--corrupt", 0) == 0) {
      std::string kind = option.substr(2);
      bool in = true;
      bool out = true;
      if (kind.size() > 3 && kind.compare(kind.size() - 3, 3, "-in") == 0) {
        out = false;
        kind.resize(kind.size() - 3);
      } else if (kind.size() > 4 && kind.compare(kind.size() - 4, 4, "-out") == 0) {
        in = false;
        kind.resize(kind.size() - 4);
      }
      if (kind != "drop" && kind != "delay" && kind != "duplicate" && kind != "corrupt") {
        return fail("unknown option " + option);
      }
      if (!ParseFraction(value(), fraction)) {
        return fail(option + " takes a fraction 0..1");
      }
      for (int direction = 0; direction < 2; ++direction) {
        if ((direction == 0 && !in) || (direction == 1 && !out)) {
          continue;
        }
        KTX_SimFaultRates &rates = p_roOptions.aoFaults[direction];
        (kind == "drop" ? rates.f64Drop : kind == "delay" ? rates.f64Delay : kind == "duplicate" ? rates.f64Duplicate
                                                                                                 : rates.f64Corrupt) =
            fraction;
      }
    } else if (option == "--make-software") {
      p_roOptions.strMakeSoftware = value();
      if (p_roOptions.strMakeSoftware.empty()) {
        return fail("--make-software takes a file name");
      }
    } else if (option == "--version") {
      if (ParseVersion(value(), p_roOptions.oMakeVersion) != KTX_RC_OK) {
        return fail("--version takes a version such as 2.4.0.b");
      }
    } else if (option == "--body-bytes") {
      if (!ParseNumber(value(), 0x400000, number)) {
        return fail("--body-bytes takes 0..4194304");
      }
      p_roOptions.u32MakeBodyLength = static_cast<uint32_t>(number);
    } else {
      return fail("unknown option " + option);
    }
  }
  defined.emplace_back(current, count);
  for (auto &[config, n] : defined) {
    // A state folder given for one sensor holds every sensor's state (each in its own subfolder).
    if (config.strStateFolder.empty() && stateGiven) {
      config.strStateFolder = sharedState;
    }
    for (uint32_t k = 0; k < n; ++k) {
      KTX_SimSensorConfig copy = config;
      AddToId(copy.aDeviceId, k);
      copy.aMac[5] = static_cast<uint8_t>(copy.aMac[5] + k);
      if (!copy.bSerial) {
        copy.u32BindIp = config.u32BindIp + k;
      }
      p_roOptions.voSensors.push_back(copy);
    }
  }
  return KTX_RC_OK;
}
