#include "sensor-sim/SensorSim.h"

#include "link/MessageIds.h"
#include "link/MessageSupervisor.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint32_t c_u32Loopback = 0x7F000000u;
constexpr uint32_t c_u32LoopbackBroadcast = 0x7FFFFFFFu;
constexpr uint32_t c_u32LimitedBroadcast = 0xFFFFFFFFu;
// The loop never waits longer than this, so Stop and timers are served promptly.
constexpr uint64_t c_u64MaxWaitMs = 500;

std::string IpText(uint32_t p_u32Ip) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", p_u32Ip >> 24, (p_u32Ip >> 16) & 0xFF, (p_u32Ip >> 8) & 0xFF,
                p_u32Ip & 0xFF);
  return text;
}

std::string Endpoint(uint32_t p_u32Ip, uint16_t p_u16Port) { return IpText(p_u32Ip) + ":" + std::to_string(p_u16Port); }

sockaddr_in SocketAddress(uint32_t p_u32Ip, uint16_t p_u16Port) {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_port = htons(p_u16Port);
  address.sin_addr.s_addr = htonl(p_u32Ip);
  return address;
}

const char *DropReason(int32_t p_i32Code) {
  switch (p_i32Code) {
  case KTX_RC_MESSAGE_CRC_MISMATCH:
    return "CRC mismatch";
  case KTX_RC_MESSAGE_CORRUPTED:
    return "length does not add up";
  case KTX_RC_BUFFER_EMPTY:
    return "message ends inside a field";
  default:
    return GetReturnCodeText(p_i32Code);
  }
}

std::string ComFolder(const std::string &p_strGiven) {
  if (!p_strGiven.empty()) {
    return p_strGiven;
  }
  if (const char *dir = std::getenv("TARNVEL_COM_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char *config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
    return std::string(config) + "/tarnvel/com";
  }
  const char *home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/tarnvel/com";
}

void MakeFolders(const std::string &p_strPath) {
  for (size_t pos = p_strPath.find('/', 1); ; pos = p_strPath.find('/', pos + 1)) {
    mkdir(p_strPath.substr(0, pos).c_str(), 0755);
    if (pos == std::string::npos) {
      break;
    }
  }
}

std::string MessageText(KTX_MessageSupervisor &p_roMessage) {
  KTX_StringAscii text;
  text.SetStackVariable();
  p_roMessage.FormatText(text);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "seq=%04X ", static_cast<unsigned>(p_roMessage.GetSequence() & 0xFFFF));
  return std::string(prefix) + (text.GetText() != nullptr ? text.GetText() : "");
}

} // namespace

struct KTX_SensorSim::UdpLink {
  int32_t i32Sensor = -1;
  uint32_t u32BindIp = 0;
  uint16_t u16Port = 0;
  int iFd = -1;
  std::vector<int> viBroadcastFds;
  uint32_t u32BroadcastIp = c_u32LimitedBroadcast;
  KTX_SimFaultInjector oFaults;
  std::string strName;
};

struct KTX_SensorSim::Bus {
  std::string strName;
  std::vector<int32_t> vi32Sensors;
  int iMaster = -1;
  int iSlave = -1;
  std::string strSlavePath;
  int32_t i32ComPort = 0;
  std::string strComLink;
  KTX_MessageSupervisor *poDeframer = nullptr;
  KTX_SimFaultInjector oFaults;
  std::string strLabel;
};

struct KTX_SensorSim::Delayed {
  enum Kind { INBOUND_DATAGRAM, OUTBOUND_DATAGRAM, INBOUND_FRAME, OUTBOUND_FRAME };
  uint64_t u64Due = 0;
  Kind eKind = INBOUND_DATAGRAM;
  int32_t i32Link = 0;
  std::vector<uint8_t> vu8Bytes;
  uint32_t u32Ip = 0;
  uint16_t u16Port = 0;
};

int32_t KTX_SensorSim::UdpIndex(const UdpLink &p_roLink) const {
  for (size_t i = 0; i < c_vpoUdp.size(); ++i) {
    if (c_vpoUdp[i].get() == &p_roLink) {
      return static_cast<int32_t>(i);
    }
  }
  return 0;
}

int32_t KTX_SensorSim::BusIndex(const Bus &p_roBus) const {
  for (size_t i = 0; i < c_vpoBuses.size(); ++i) {
    if (c_vpoBuses[i].get() == &p_roBus) {
      return static_cast<int32_t>(i);
    }
  }
  return 0;
}

void KTX_SensorSim::Delay(int32_t p_i32Kind, int32_t p_i32Link, uint32_t p_u32DelayMs,
                          const std::vector<uint8_t> &p_rvu8Bytes, uint32_t p_u32Ip, uint16_t p_u16Port) {
  Delayed item;
  item.u64Due = NowMs() + p_u32DelayMs;
  item.eKind = static_cast<Delayed::Kind>(p_i32Kind);
  item.i32Link = p_i32Link;
  item.vu8Bytes = p_rvu8Bytes;
  item.u32Ip = p_u32Ip;
  item.u16Port = p_u16Port;
  c_voDelayed.push_back(std::move(item));
}

uint64_t KTX_SensorSim::NowMs() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

KTX_SensorSim::KTX_SensorSim(const KTX_SimOptions &p_roOptions)
    : c_oOptions(p_roOptions), c_bOpen(false), c_bLinks(false), c_iWakeFd(-1), c_bStop(false) {}

KTX_SensorSim::~KTX_SensorSim() {
  Stop();
  CloseLinks();
}

int32_t KTX_SensorSim::Open(bool p_bLinks) {
  OsalThreadMutexGuard guard(c_oLock);
  if (c_bOpen) {
    return KTX_RC_OK;
  }
  if (c_oOptions.voSensors.empty()) {
    return KTX_RC_INVALID_PARAMETER;
  }
  int32_t rc = c_oTraffic.Open(c_oOptions.strTrafficLog);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  c_bLinks = p_bLinks;
  const uint64_t now = NowMs();
  for (size_t i = 0; i < c_oOptions.voSensors.size(); ++i) {
    const KTX_SimSensorConfig &config = c_oOptions.voSensors[i];
    c_vpoSensors.push_back(std::make_unique<KTX_SimSensor>(config));
    rc = c_vpoSensors.back()->PowerOn(now);
    if (rc != KTX_RC_OK) {
      return rc;
    }
    if (!config.bSerial) {
      auto link = std::make_unique<UdpLink>();
      link->i32Sensor = static_cast<int32_t>(i);
      link->u32BindIp = config.u32BindIp;
      link->u16Port = config.u16Port;
      link->u32BroadcastIp = (config.u32BindIp & 0xFF000000u) == c_u32Loopback ? c_u32LoopbackBroadcast
                                                                              : c_u32LimitedBroadcast;
      link->oFaults.SetSeed(c_oOptions.u64Seed + c_vpoUdp.size() + c_vpoBuses.size());
      c_vi32Link.push_back(static_cast<int32_t>(c_vpoUdp.size()));
      c_vpoUdp.push_back(std::move(link));
      continue;
    }
    Bus *bus = nullptr;
    for (size_t b = 0; b < c_vpoBuses.size(); ++b) {
      if (c_vpoBuses[b]->strName == config.strBus) {
        bus = c_vpoBuses[b].get();
        c_vi32Link.push_back(static_cast<int32_t>(b));
      }
    }
    if (bus == nullptr) {
      auto created = std::make_unique<Bus>();
      created->strName = config.strBus;
      created->oFaults.SetSeed(c_oOptions.u64Seed + c_vpoUdp.size() + c_vpoBuses.size());
      created->poDeframer = KTX_MessageSupervisor::NewMessage();
      if (created->poDeframer == nullptr) {
        return KTX_RC_MALLOC_FAILED;
      }
      c_vi32Link.push_back(static_cast<int32_t>(c_vpoBuses.size()));
      c_vpoBuses.push_back(std::move(created));
      bus = c_vpoBuses.back().get();
    }
    bus->vi32Sensors.push_back(static_cast<int32_t>(i));
    if (config.i32ComPort != 0) {
      bus->i32ComPort = config.i32ComPort;
    }
  }
  for (auto &link : c_vpoUdp) {
    for (int d = 0; d < 2; ++d) {
      link->oFaults.SetRates(static_cast<KTX_SimDirection>(d), c_oOptions.aoFaults[d]);
    }
    link->oFaults.SetDelayMs(c_oOptions.u32FaultDelayMs);
    link->strName = "udp " + Endpoint(link->u32BindIp, link->u16Port);
    if (p_bLinks && (rc = OpenUdp(*link)) != KTX_RC_OK) {
      CloseLinks();
      return rc;
    }
  }
  for (auto &bus : c_vpoBuses) {
    for (int d = 0; d < 2; ++d) {
      bus->oFaults.SetRates(static_cast<KTX_SimDirection>(d), c_oOptions.aoFaults[d]);
    }
    bus->oFaults.SetDelayMs(c_oOptions.u32FaultDelayMs);
    bus->strLabel = "pty " + bus->strName;
    if (p_bLinks && (rc = OpenBus(*bus)) != KTX_RC_OK) {
      CloseLinks();
      return rc;
    }
  }
  if (p_bLinks) {
    c_iWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (c_iWakeFd < 0) {
      CloseLinks();
      return KTX_RC_OPERATION_FAILED;
    }
  }
  c_bOpen = true;
  for (const std::string &line : Describe()) {
    c_oTraffic.Line("sim", "%s", line.c_str());
  }
  return KTX_RC_OK;
}

int32_t KTX_SensorSim::OpenUdp(UdpLink &p_roLink) {
  auto open = [](uint32_t p_u32Ip, uint16_t p_u16Port, bool p_bShared) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (p_bShared) {
      // Every sensor on the link hears a broadcast: they all bind the same address.
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    const sockaddr_in address = SocketAddress(p_u32Ip, p_u16Port);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  };
  p_roLink.iFd = open(p_roLink.u32BindIp, p_roLink.u16Port, false);
  if (p_roLink.iFd < 0) {
    KTX_LOG(KTX_ERROR, "SensorSim - cannot bind %s (%s)", Endpoint(p_roLink.u32BindIp, p_roLink.u16Port).c_str(),
            std::strerror(errno));
    return KTX_RC_SOCKET_BIND_FAILED;
  }
  sockaddr_in bound {};
  socklen_t length = sizeof bound;
  getsockname(p_roLink.iFd, reinterpret_cast<sockaddr *>(&bound), &length);
  p_roLink.u16Port = ntohs(bound.sin_port);
  p_roLink.strName = "udp " + Endpoint(p_roLink.u32BindIp, p_roLink.u16Port);
  if (p_roLink.u32BindIp != 0) {
    std::vector<uint32_t> broadcasts{p_roLink.u32BroadcastIp};
    if (p_roLink.u32BroadcastIp != c_u32LimitedBroadcast) {
      broadcasts.push_back(c_u32LimitedBroadcast);
    }
    for (uint32_t ip : broadcasts) {
      const int fd = open(ip, p_roLink.u16Port, true);
      if (fd >= 0) {
        p_roLink.viBroadcastFds.push_back(fd);
      } else {
        c_oTraffic.Line(p_roLink.strName, "cannot listen on %s", Endpoint(ip, p_roLink.u16Port).c_str());
      }
    }
  }
  return KTX_RC_OK;
}

int32_t KTX_SensorSim::OpenBus(Bus &p_roBus) {
  p_roBus.iMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char path[128] = {};
  if (p_roBus.iMaster < 0 || grantpt(p_roBus.iMaster) != 0 || unlockpt(p_roBus.iMaster) != 0 ||
      ptsname_r(p_roBus.iMaster, path, sizeof path) != 0) {
    KTX_LOG(KTX_ERROR, "SensorSim - cannot create a pseudo-terminal (%s)", std::strerror(errno));
    return KTX_RC_COM_OPEN_FAILED;
  }
  p_roBus.strSlavePath = path;
  // The emulator keeps the slave side open in raw mode: the line discipline must
  // neither echo nor translate bytes before the peer configures the port, and the
  // master must not see a hang-up while no peer has the port open.
  p_roBus.iSlave = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (p_roBus.iSlave < 0) {
    return KTX_RC_COM_OPEN_FAILED;
  }
  struct termios settings {};
  if (tcgetattr(p_roBus.iSlave, &settings) == 0) {
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(p_roBus.iSlave, TCSANOW, &settings);
  }
  if (p_roBus.i32ComPort != 0) {
    const std::string folder = ComFolder(c_oOptions.strComDir);
    MakeFolders(folder);
    const std::string link = folder + "/COM" + std::to_string(p_roBus.i32ComPort);
    unlink(link.c_str());
    if (symlink(path, link.c_str()) != 0) {
      KTX_LOG(KTX_ERROR, "SensorSim - cannot link %s (%s)", link.c_str(), std::strerror(errno));
      return KTX_RC_COM_OPEN_FAILED;
    }
    p_roBus.strComLink = link;
  }
  p_roBus.strLabel = "pty " + p_roBus.strName;
  return KTX_RC_OK;
}

void KTX_SensorSim::CloseLinks() {
  OsalThreadMutexGuard guard(c_oLock);
  for (auto &link : c_vpoUdp) {
    if (link->iFd >= 0) {
      close(link->iFd);
      link->iFd = -1;
    }
    for (int fd : link->viBroadcastFds) {
      close(fd);
    }
    link->viBroadcastFds.clear();
  }
  for (auto &bus : c_vpoBuses) {
    if (!bus->strComLink.empty()) {
      unlink(bus->strComLink.c_str());
      bus->strComLink.clear();
    }
    if (bus->iSlave >= 0) {
      close(bus->iSlave);
      bus->iSlave = -1;
    }
    if (bus->iMaster >= 0) {
      close(bus->iMaster);
      bus->iMaster = -1;
    }
    if (bus->poDeframer != nullptr) {
      bus->poDeframer->Delete();
      bus->poDeframer = nullptr;
    }
  }
  if (c_iWakeFd >= 0) {
    close(c_iWakeFd);
    c_iWakeFd = -1;
  }
}

std::vector<std::string> KTX_SensorSim::Describe() const {
  OsalThreadMutexGuard guard(c_oLock);
  std::vector<std::string> lines;
  for (size_t i = 0; i < c_vpoSensors.size(); ++i) {
    const KTX_SimSensorConfig &config = c_vpoSensors[i]->GetConfig();
    char id[17];
    for (int b = 0; b < 8; ++b) {
      std::snprintf(id + 2 * b, 3, "%02X", config.aDeviceId[static_cast<size_t>(b)]);
    }
    std::string line = "sensor " + std::to_string(i) + " device " + id + " model " + std::to_string(config.u32Model);
    if (!config.bSerial) {
      const UdpLink &link = *c_vpoUdp[static_cast<size_t>(c_vi32Link[i])];
      line += " udp " + Endpoint(link.u32BindIp, link.u16Port);
    } else {
      const Bus &bus = *c_vpoBuses[static_cast<size_t>(c_vi32Link[i])];
      line += " pty " + (bus.strSlavePath.empty() ? bus.strName : bus.strSlavePath);
      if (!bus.strComLink.empty()) {
        line += " COM" + std::to_string(bus.i32ComPort) + " " + bus.strComLink;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

uint16_t KTX_SensorSim::GetUdpPort(int32_t p_i32Sensor) const {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount() || c_vpoSensors[p_i32Sensor]->GetConfig().bSerial) {
    return 0;
  }
  return c_vpoUdp[static_cast<size_t>(c_vi32Link[p_i32Sensor])]->u16Port;
}

uint32_t KTX_SensorSim::GetUdpAddress(int32_t p_i32Sensor) const {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount() || c_vpoSensors[p_i32Sensor]->GetConfig().bSerial) {
    return 0;
  }
  return c_vpoUdp[static_cast<size_t>(c_vi32Link[p_i32Sensor])]->u32BindIp;
}

std::string KTX_SensorSim::GetPtyPath(int32_t p_i32Sensor) const {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount() || !c_vpoSensors[p_i32Sensor]->GetConfig().bSerial) {
    return {};
  }
  return c_vpoBuses[static_cast<size_t>(c_vi32Link[p_i32Sensor])]->strSlavePath;
}

std::string KTX_SensorSim::GetComLink(int32_t p_i32Sensor) const {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount() || !c_vpoSensors[p_i32Sensor]->GetConfig().bSerial) {
    return {};
  }
  return c_vpoBuses[static_cast<size_t>(c_vi32Link[p_i32Sensor])]->strComLink;
}

KTX_SimSensorStatus KTX_SensorSim::GetStatus(int32_t p_i32Sensor) const {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount()) {
    return {};
  }
  return c_vpoSensors[p_i32Sensor]->GetStatus(NowMs());
}

std::vector<KTX_SensorSim::Captured> KTX_SensorSim::TakeCaptured() {
  OsalThreadMutexGuard guard(c_oLock);
  std::vector<Captured> taken;
  taken.swap(c_voCaptured);
  return taken;
}

// ---------------------------------------------------------------------------------------------------------
// The loop

int32_t KTX_SensorSim::Start() {
  int32_t rc = Open(true);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  if (c_oThread.joinable()) {
    return KTX_RC_OK;
  }
  c_bStop.store(false);
  c_oThread = std::thread([this] { Run(); });
  return KTX_RC_OK;
}

void KTX_SensorSim::Stop() {
  c_bStop.store(true);
  if (c_iWakeFd >= 0) {
    const uint64_t one = 1;
    (void)!write(c_iWakeFd, &one, sizeof one);
  }
  if (c_oThread.joinable()) {
    c_oThread.join();
  }
}

uint64_t KTX_SensorSim::RunTimers(uint64_t p_u64NowMs) {
  uint64_t next = p_u64NowMs + c_u64MaxWaitMs;
  for (auto &sensor : c_vpoSensors) {
    const uint64_t due = sensor->Tick(p_u64NowMs);
    next = due < next ? due : next;
  }
  // Delayed messages whose time has come; handling one may delay others.
  for (size_t guard = 0; guard < 10000; ++guard) {
    size_t found = c_voDelayed.size();
    for (size_t i = 0; i < c_voDelayed.size(); ++i) {
      if (c_voDelayed[i].u64Due <= p_u64NowMs && (found == c_voDelayed.size() || c_voDelayed[i].u64Due < c_voDelayed[found].u64Due)) {
        found = i;
      }
    }
    if (found == c_voDelayed.size()) {
      break;
    }
    Delayed item = std::move(c_voDelayed[found]);
    c_voDelayed.erase(c_voDelayed.begin() + static_cast<long>(found));
    switch (item.eKind) {
    case Delayed::INBOUND_DATAGRAM:
      InboundDatagram(*c_vpoUdp[static_cast<size_t>(item.i32Link)], std::move(item.vu8Bytes), item.u32Ip,
                      item.u16Port, false);
      break;
    case Delayed::OUTBOUND_DATAGRAM:
      SendDatagram(*c_vpoUdp[static_cast<size_t>(item.i32Link)], std::move(item.vu8Bytes), item.u32Ip, item.u16Port,
                   false);
      break;
    case Delayed::INBOUND_FRAME:
      InboundFrame(*c_vpoBuses[static_cast<size_t>(item.i32Link)], std::move(item.vu8Bytes), false);
      break;
    case Delayed::OUTBOUND_FRAME:
      SendFrame(*c_vpoBuses[static_cast<size_t>(item.i32Link)], std::move(item.vu8Bytes), false);
      break;
    }
  }
  for (const Delayed &item : c_voDelayed) {
    next = item.u64Due < next ? item.u64Due : next;
  }
  return next;
}

void KTX_SensorSim::Run() {
  std::vector<pollfd> fds;
  // What each descriptor is: a UDP link (index) or a bus (-1 - index), or the wake-up.
  std::vector<int32_t> owners;
  while (!c_bStop.load()) {
    uint64_t next = 0;
    {
      OsalThreadMutexGuard guard(c_oLock);
      next = RunTimers(NowMs());
      fds.clear();
      owners.clear();
      fds.push_back({c_iWakeFd, POLLIN, 0});
      owners.push_back(INT32_MIN);
      for (size_t i = 0; i < c_vpoUdp.size(); ++i) {
        fds.push_back({c_vpoUdp[i]->iFd, POLLIN, 0});
        owners.push_back(static_cast<int32_t>(i));
        for (int fd : c_vpoUdp[i]->viBroadcastFds) {
          fds.push_back({fd, POLLIN, 0});
          owners.push_back(static_cast<int32_t>(i));
        }
      }
      for (size_t b = 0; b < c_vpoBuses.size(); ++b) {
        fds.push_back({c_vpoBuses[b]->iMaster, POLLIN, 0});
        owners.push_back(-1 - static_cast<int32_t>(b));
      }
    }
    const uint64_t now = NowMs();
    const int wait = next > now ? static_cast<int>(next - now) : 0;
    const int ready = poll(fds.data(), fds.size(), wait);
    if (ready < 0 && errno != EINTR) {
      KTX_LOG(KTX_ERROR, "SensorSim - poll failed (%s)", std::strerror(errno));
      break;
    }
    OsalThreadMutexGuard guard(c_oLock);
    for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLERR | POLLHUP)) == 0) {
        continue;
      }
      if (owners[i] == INT32_MIN) {
        uint64_t count = 0;
        (void)!read(c_iWakeFd, &count, sizeof count);
      } else if (owners[i] >= 0) {
        ReadUdp(*c_vpoUdp[static_cast<size_t>(owners[i])], fds[i].fd);
      } else {
        ReadBus(*c_vpoBuses[static_cast<size_t>(-1 - owners[i])]);
      }
    }
  }
}

void KTX_SensorSim::ReadUdp(UdpLink &p_roLink, int p_iFd) {
  // One datagram per readiness: the wait reports the socket again while more
  // are queued, which keeps the other links served and saves the read that
  // would only find the socket empty.
  uint8_t buffer[4096];
  sockaddr_in from {};
  socklen_t length = sizeof from;
  const ssize_t got = recvfrom(p_iFd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &length);
  if (got < 0) {
    return;
  }
  InboundDatagram(p_roLink, std::vector<uint8_t>(buffer, buffer + got), ntohl(from.sin_addr.s_addr),
                  ntohs(from.sin_port), true);
}

void KTX_SensorSim::ReadBus(Bus &p_roBus) {
  for (int n = 0; n < 64; ++n) {
    uint8_t buffer[4096];
    const ssize_t got = read(p_roBus.iMaster, buffer, sizeof buffer);
    if (got <= 0) {
      return;
    }
    // The line echoes every byte to everyone on it, the sender included.
    WriteBus(p_roBus, buffer, static_cast<size_t>(got));
    ProcessSerial(p_roBus.vi32Sensors.front(), buffer, static_cast<int32_t>(got));
  }
}

void KTX_SensorSim::WriteBus(Bus &p_roBus, const uint8_t *p_pu8Data, size_t p_szLength) {
  if (!c_bLinks) {
    c_voCaptured.push_back({true, 0, 0, std::vector<uint8_t>(p_pu8Data, p_pu8Data + p_szLength)});
    return;
  }
  size_t done = 0;
  for (int attempt = 0; done < p_szLength && attempt < 100; ++attempt) {
    const ssize_t n = write(p_roBus.iMaster, p_pu8Data + done, p_szLength - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      break;
    } else if (n < 0 && errno == EAGAIN) {
      // Nobody drains the other side: wait briefly for room, then give up.
      pollfd out{p_roBus.iMaster, POLLOUT, 0};
      poll(&out, 1, 10);
    }
  }
  if (done < p_szLength) {
    c_oTraffic.Line(p_roBus.strLabel, "bus full: %zu of %zu bytes lost", p_szLength - done, p_szLength);
  }
}

// ---------------------------------------------------------------------------------------------------------
// Messages in and out

bool KTX_SensorSim::ApplyFaults(const std::string &p_strLink, const KTX_SimFaultDecision &p_roDecision,
                                KTX_SimDirection p_eDir, std::vector<uint8_t> &p_rvu8Bytes) {
  const char *dir = p_eDir == KTX_SIM_INBOUND ? "in" : "out";
  if (p_roDecision.bDrop) {
    c_oTraffic.Line(p_strLink, "FAULT %s #%llu drop", dir, static_cast<unsigned long long>(p_roDecision.u64Index));
    return false;
  }
  if (p_roDecision.i32CorruptByte >= 0 && p_roDecision.i32CorruptByte < static_cast<int32_t>(p_rvu8Bytes.size())) {
    p_rvu8Bytes[static_cast<size_t>(p_roDecision.i32CorruptByte)] ^= p_roDecision.u8CorruptMask;
    c_oTraffic.Line(p_strLink, "FAULT %s #%llu corrupt byte %d mask %02X", dir,
                    static_cast<unsigned long long>(p_roDecision.u64Index), p_roDecision.i32CorruptByte,
                    p_roDecision.u8CorruptMask);
  }
  if (p_roDecision.bDuplicate) {
    c_oTraffic.Line(p_strLink, "FAULT %s #%llu duplicate", dir, static_cast<unsigned long long>(p_roDecision.u64Index));
  }
  if (p_roDecision.u32DelayMs != 0) {
    c_oTraffic.Line(p_strLink, "FAULT %s #%llu delay %u ms", dir,
                    static_cast<unsigned long long>(p_roDecision.u64Index), p_roDecision.u32DelayMs);
  }
  return true;
}

void KTX_SensorSim::ProcessDatagram(int32_t p_i32Sensor, const uint8_t *p_pu8Data, int32_t p_i32Length,
                                    uint32_t p_u32PeerIp, uint16_t p_u16PeerPort) {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount() || c_vpoSensors[p_i32Sensor]->GetConfig().bSerial ||
      p_i32Length < 0) {
    return;
  }
  RunTimers(NowMs());
  InboundDatagram(*c_vpoUdp[static_cast<size_t>(c_vi32Link[p_i32Sensor])],
                  std::vector<uint8_t>(p_pu8Data, p_pu8Data + p_i32Length), p_u32PeerIp, p_u16PeerPort, true);
}

void KTX_SensorSim::InboundDatagram(UdpLink &p_roLink, std::vector<uint8_t> p_vu8Bytes, uint32_t p_u32PeerIp,
                                    uint16_t p_u16PeerPort, bool p_bFaults) {
  if (p_bFaults) {
    const KTX_SimFaultDecision decision =
        p_roLink.oFaults.Next(KTX_SIM_INBOUND, static_cast<int32_t>(p_vu8Bytes.size()));
    if (!ApplyFaults(p_roLink.strName, decision, KTX_SIM_INBOUND, p_vu8Bytes)) {
      return;
    }
    const int copies = decision.bDuplicate ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
      if (decision.u32DelayMs != 0) {
        Delay(Delayed::INBOUND_DATAGRAM, UdpIndex(p_roLink), decision.u32DelayMs, p_vu8Bytes, p_u32PeerIp,
              p_u16PeerPort);
      } else {
        InboundDatagram(p_roLink, p_vu8Bytes, p_u32PeerIp, p_u16PeerPort, false);
      }
    }
    return;
  }
  KTX_SimPeer peer;
  peer.u32Ip = p_u32PeerIp;
  peer.u16Port = p_u16PeerPort;
  Serve(p_roLink.i32Sensor, p_vu8Bytes, peer, &p_roLink, nullptr);
}

void KTX_SensorSim::ProcessSerial(int32_t p_i32Sensor, const uint8_t *p_pu8Data, int32_t p_i32Length) {
  OsalThreadMutexGuard guard(c_oLock);
  if (p_i32Sensor < 0 || p_i32Sensor >= GetSensorCount() || !c_vpoSensors[p_i32Sensor]->GetConfig().bSerial ||
      p_i32Length < 0) {
    return;
  }
  RunTimers(NowMs());
  Bus &bus = *c_vpoBuses[static_cast<size_t>(c_vi32Link[p_i32Sensor])];
  int32_t offset = 0;
  // Each pass consumes at least one byte or stops, so this ends.
  while (offset < p_i32Length && bus.poDeframer != nullptr) {
    int32_t consumed = 0;
    const int32_t rc = bus.poDeframer->Deframe(p_pu8Data + offset, p_i32Length - offset, &consumed);
    offset += consumed > 0 ? consumed : 0;
    if (rc == KTX_RC_OK) {
      const uint8_t *frame = bus.poDeframer->GetBuffer();
      std::vector<uint8_t> bytes(frame, frame + bus.poDeframer->GetReceivedLength());
      bus.poDeframer->Reset();
      InboundFrame(bus, std::move(bytes), true);
    } else if (rc == KTX_RC_BUFFER_EMPTY) {
      if (consumed <= 0) {
        break;
      }
    } else {
      c_oTraffic.Line(bus.strLabel, "deframing failed (%s); frame discarded", GetReturnCodeText(rc));
      bus.poDeframer->Reset();
      if (consumed <= 0) {
        ++offset;
      }
    }
  }
}

void KTX_SensorSim::InboundFrame(Bus &p_roBus, std::vector<uint8_t> p_vu8Bytes, bool p_bFaults) {
  if (p_bFaults) {
    const KTX_SimFaultDecision decision = p_roBus.oFaults.Next(KTX_SIM_INBOUND, static_cast<int32_t>(p_vu8Bytes.size()));
    if (!ApplyFaults(p_roBus.strLabel, decision, KTX_SIM_INBOUND, p_vu8Bytes)) {
      return;
    }
    const int copies = decision.bDuplicate ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
      if (decision.u32DelayMs != 0) {
        Delay(Delayed::INBOUND_FRAME, BusIndex(p_roBus), decision.u32DelayMs, p_vu8Bytes, 0, 0);
      } else {
        InboundFrame(p_roBus, p_vu8Bytes, false);
      }
    }
    return;
  }
  KTX_SimPeer peer;
  peer.bSerial = true;
  for (int32_t sensor : p_roBus.vi32Sensors) {
    Serve(sensor, p_vu8Bytes, peer, nullptr, &p_roBus);
  }
}

void KTX_SensorSim::Serve(int32_t p_i32Sensor, const std::vector<uint8_t> &p_rvu8Bytes, const KTX_SimPeer &p_roPeer,
                          UdpLink *p_poLink, Bus *p_poBus) {
  KTX_SimSensor &sensor = *c_vpoSensors[static_cast<size_t>(p_i32Sensor)];
  const std::string &label = p_poLink != nullptr ? p_poLink->strName : p_poBus->strLabel;
  const std::string from = p_roPeer.bSerial ? std::string("bus") : Endpoint(p_roPeer.u32Ip, p_roPeer.u16Port);
  const int32_t length = static_cast<int32_t>(p_rvu8Bytes.size());
  const uint64_t now = NowMs();
  sensor.Tick(now);
  if (sensor.IsSilent(now)) {
    c_oTraffic.Line(label, "<<- %s  not heard: rebooting (%d bytes)", from.c_str(), length);
    return;
  }
  KTX_MessageSupervisor *request = KTX_MessageSupervisor::NewMessage();
  if (request == nullptr) {
    return;
  }
  if (length > request->GetBufferSize() || length == 0) {
    c_oTraffic.Line(label, "<<- %s  DROPPED %d bytes: %s", from.c_str(), length,
                    length == 0 ? "empty" : "longer than any message");
    request->Delete();
    return;
  }
  std::memcpy(request->GetBuffer(), p_rvu8Bytes.data(), p_rvu8Bytes.size());
  if (!p_roPeer.bSerial) {
    KTX_DeviceAddress source;
    source.SetStackVariable();
    const uint32_t ip = p_roPeer.u32Ip;
    const uint8_t octets[4] = {static_cast<uint8_t>(ip >> 24), static_cast<uint8_t>(ip >> 16),
                               static_cast<uint8_t>(ip >> 8), static_cast<uint8_t>(ip)};
    source.SetIpv4(octets, p_roPeer.u16Port);
    request->SetSource(source);
  }
  request->SetLocalIdentity(sensor.GetMac(), sensor.GetDeviceId());
  int32_t rc = request->Decode(length);
  if (rc != KTX_RC_OK) {
    if (rc == KTX_RC_MESSAGE_FILTERED) {
      c_oTraffic.Line(label, "<<- %s  not for this sensor (address option)", from.c_str());
    } else {
      c_oTraffic.Line(label, "<<- %s  DROPPED malformed (%s), %d bytes: %s", from.c_str(), DropReason(rc), length,
                      KTX_SimTrafficLog::Hex(p_rvu8Bytes.data(), length).c_str());
    }
    request->Delete();
    return;
  }
  const int32_t protocol = request->GetProtocol();
  if (protocol == KTX_PROTOCOL_RESPONSE_DEVICE_ID || protocol == KTX_PROTOCOL_RESPONSE_OPTIONS) {
    c_oTraffic.Line(label, "<<- %s  ignored response: %s", from.c_str(), MessageText(*request).c_str());
    request->Delete();
    return;
  }
  if (protocol != KTX_PROTOCOL_REQUEST_DEVICE_ID && protocol != KTX_PROTOCOL_REQUEST_OPTIONS) {
    c_oTraffic.Line(label, "<<- %s  DROPPED unknown protocol 0x%02X, %d bytes: %s", from.c_str(),
                    static_cast<unsigned>(protocol & 0xFF), length,
                    KTX_SimTrafficLog::Hex(p_rvu8Bytes.data(), length).c_str());
    request->Delete();
    return;
  }
  if (protocol == KTX_PROTOCOL_REQUEST_DEVICE_ID && request->GetDestination().HasDeviceId() &&
      request->GetDestination().GetDeviceId() != sensor.GetDeviceId()) {
    c_oTraffic.Line(label, "<<- %s  not for this sensor: %s", from.c_str(), MessageText(*request).c_str());
    request->Delete();
    return;
  }
  c_oTraffic.Line(label, "<<- %s  %s", from.c_str(), MessageText(*request).c_str());
  const bool broadcastResponse = protocol == KTX_PROTOCOL_REQUEST_OPTIONS && request->GetSource().GetBroadcast();
  if (!p_roPeer.bSerial && !broadcastResponse && !sensor.CanReach(p_roPeer.u32Ip)) {
    c_oTraffic.Line(label, "->> %s  not answered: no route from %s", from.c_str(), IpText(sensor.GetNetIp()).c_str());
    request->Delete();
    return;
  }
  KTX_MessageSupervisor *response = KTX_MessageSupervisor::NewMessage();
  if (response == nullptr) {
    request->Delete();
    return;
  }
  response->SetMessageId(request->GetMessageId());
  int32_t result = KTX_RC_OK;
  const bool answer = sensor.Handle(*request, p_roPeer, now, *response, result);
  if (!answer) {
    c_oTraffic.Line(label, "->> %s  not answered: excluded by the request", from.c_str());
    request->Delete();
    response->Delete();
    return;
  }
  if (result != KTX_RC_OK) {
    // A refused request is answered with its result alone.
    response->Reset();
    response->SetMessageId(request->GetMessageId());
  }
  // A device-id response names the requester when it named itself, and always the sensor.
  KTX_DeviceAddress destination;
  destination.SetStackVariable();
  if (protocol == KTX_PROTOCOL_REQUEST_DEVICE_ID && request->GetSource().HasDeviceId()) {
    destination.SetDeviceId(request->GetSource().GetDeviceId());
  }
  KTX_DeviceAddress own;
  own.SetStackVariable();
  own.SetDeviceId(sensor.GetDeviceId());
  response->SetDestination(destination);
  response->SetSource(own);
  rc = response->EncodeResponse(protocol, static_cast<uint16_t>(request->GetSequence()), result);
  if (rc != KTX_RC_OK) {
    c_oTraffic.Line(label, "->> %s  response cannot be encoded (%s)", from.c_str(), GetReturnCodeText(rc));
    request->Delete();
    response->Delete();
    return;
  }
  std::vector<uint8_t> bytes(response->GetMessageData(), response->GetMessageData() + response->GetMessageLength());
  if (p_poBus != nullptr) {
    // On a line the faults hit the framed bytes, as noise would.
    std::vector<uint8_t> framed(2 * bytes.size() + 2);
    int32_t framedLength = 0;
    rc = response->Frame(framed.data(), static_cast<int32_t>(framed.size()), &framedLength);
    framed.resize(rc == KTX_RC_OK ? static_cast<size_t>(framedLength) : 0);
    bytes.swap(framed);
  }
  uint32_t toIp = p_roPeer.u32Ip;
  std::string to = from;
  if (broadcastResponse && p_poLink != nullptr) {
    toIp = p_poLink->u32BroadcastIp;
    to = Endpoint(toIp, p_roPeer.u16Port);
  }
  c_oTraffic.Line(label, "->> %s  %s", to.c_str(), MessageText(*response).c_str());
  request->Delete();
  response->Delete();
  if (p_poLink != nullptr) {
    SendDatagram(*p_poLink, std::move(bytes), toIp, p_roPeer.u16Port, true);
  } else {
    SendFrame(*p_poBus, std::move(bytes), true);
  }
}

void KTX_SensorSim::SendDatagram(UdpLink &p_roLink, std::vector<uint8_t> p_vu8Bytes, uint32_t p_u32Ip,
                                 uint16_t p_u16Port, bool p_bFaults) {
  int copies = 1;
  if (p_bFaults) {
    const KTX_SimFaultDecision decision =
        p_roLink.oFaults.Next(KTX_SIM_OUTBOUND, static_cast<int32_t>(p_vu8Bytes.size()));
    if (!ApplyFaults(p_roLink.strName, decision, KTX_SIM_OUTBOUND, p_vu8Bytes)) {
      return;
    }
    copies = decision.bDuplicate ? 2 : 1;
    if (decision.u32DelayMs != 0) {
      for (int c = 0; c < copies; ++c) {
        Delay(Delayed::OUTBOUND_DATAGRAM, UdpIndex(p_roLink), decision.u32DelayMs, p_vu8Bytes, p_u32Ip, p_u16Port);
      }
      return;
    }
  }
  for (int c = 0; c < copies; ++c) {
    if (!c_bLinks || p_roLink.iFd < 0) {
      c_voCaptured.push_back({false, p_u32Ip, p_u16Port, p_vu8Bytes});
      continue;
    }
    const sockaddr_in to = SocketAddress(p_u32Ip, p_u16Port);
    if (sendto(p_roLink.iFd, p_vu8Bytes.data(), p_vu8Bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to),
               sizeof to) < 0) {
      c_oTraffic.Line(p_roLink.strName, "send to %s failed: %s", Endpoint(p_u32Ip, p_u16Port).c_str(),
                      std::strerror(errno));
    }
  }
}

void KTX_SensorSim::SendFrame(Bus &p_roBus, std::vector<uint8_t> p_vu8Framed, bool p_bFaults) {
  int copies = 1;
  if (p_bFaults) {
    const KTX_SimFaultDecision decision =
        p_roBus.oFaults.Next(KTX_SIM_OUTBOUND, static_cast<int32_t>(p_vu8Framed.size()));
    if (!ApplyFaults(p_roBus.strLabel, decision, KTX_SIM_OUTBOUND, p_vu8Framed)) {
      return;
    }
    copies = decision.bDuplicate ? 2 : 1;
    if (decision.u32DelayMs != 0) {
      for (int c = 0; c < copies; ++c) {
        Delay(Delayed::OUTBOUND_FRAME, BusIndex(p_roBus), decision.u32DelayMs, p_vu8Framed, 0, 0);
      }
      return;
    }
  }
  for (int c = 0; c < copies; ++c) {
    WriteBus(p_roBus, p_vu8Framed.data(), p_vu8Framed.size());
  }
}
