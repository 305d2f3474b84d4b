#pragma once
// tarnvel-sensor-sim's engine: the emulated sensors, their links and one poll
// loop that serves them all. UDP sensors each have a socket on their own address
// (and listen on the link's broadcast address); sensors on a pseudo-terminal bus
// share its master side, which echoes every byte written by the peer back onto
// the bus as an RS-485 line does, and collects frames for the sensors.
//
// It has its own transport code on purpose: it checks the wizard's transports,
// reactor and protocol rather than mirroring them. Only the message codec is shared.
//
// Usable as a library: Start runs the loop on a thread of its own, Stop ends it;
// the accessors report the ports and paths opened and a copy of each sensor's state.

#include "sensor-sim/SimFaultInjector.h"
#include "sensor-sim/SimOptions.h"
#include "sensor-sim/SimSensor.h"
#include "sensor-sim/SimTrafficLog.h"

#include "runtime/OsalThreadMutex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class KTX_MessageSupervisor;

class KTX_SensorSim {
public:
  explicit KTX_SensorSim(const KTX_SimOptions &p_roOptions);
  ~KTX_SensorSim();
  KTX_SensorSim(const KTX_SensorSim &) = delete;
  KTX_SensorSim &operator=(const KTX_SensorSim &) = delete;

  // Powers the sensors on and opens their links (and the traffic log). With
  // p_bLinks false no socket or terminal is opened: messages then enter only
  // through ProcessDatagram and ProcessSerial and leave into the capture list.
  int32_t Open(bool p_bLinks = true);
  // Runs the poll loop on the calling thread until Stop.
  void Run();
  // Open (when not yet done) and Run on a thread of its own.
  int32_t Start();
  // Ends the loop and waits for its thread; closes the links.
  void Stop();

  int32_t GetSensorCount() const { return static_cast<int32_t>(c_vpoSensors.size()); }
  // The UDP port a sensor listens on (after Open), 0 for a bus sensor.
  uint16_t GetUdpPort(int32_t p_i32Sensor) const;
  uint32_t GetUdpAddress(int32_t p_i32Sensor) const;
  // The slave device of the bus a sensor is on, and its COM link ("" when none).
  std::string GetPtyPath(int32_t p_i32Sensor) const;
  std::string GetComLink(int32_t p_i32Sensor) const;
  KTX_SimSensorStatus GetStatus(int32_t p_i32Sensor) const;
  const KTX_SimTrafficLog &GetTrafficLog() const { return c_oTraffic; }
  // Lines describing the links opened, as the program prints them at start.
  std::vector<std::string> Describe() const;

  // Entry points without links, for tests and the fuzz target: a datagram that
  // arrived at a UDP sensor's socket, bytes that arrived on a sensor's bus.
  void ProcessDatagram(int32_t p_i32Sensor, const uint8_t *p_pu8Data, int32_t p_i32Length, uint32_t p_u32PeerIp,
                       uint16_t p_u16PeerPort);
  void ProcessSerial(int32_t p_i32Sensor, const uint8_t *p_pu8Data, int32_t p_i32Length);
  // What would have been sent while there are no links: datagrams and bus bytes.
  struct Captured {
    bool bSerial;
    uint32_t u32Ip;
    uint16_t u16Port;
    std::vector<uint8_t> vu8Bytes;
  };
  std::vector<Captured> TakeCaptured();

  // Milliseconds of the emulator's own monotonic clock.
  static uint64_t NowMs();

private:
  struct UdpLink;
  struct Bus;
  struct Delayed;

  int32_t OpenUdp(UdpLink &p_roLink);
  int32_t OpenBus(Bus &p_roBus);
  void CloseLinks();
  uint64_t RunTimers(uint64_t p_u64NowMs);
  void ReadUdp(UdpLink &p_roLink, int p_iFd);
  void ReadBus(Bus &p_roBus);

  void InboundDatagram(UdpLink &p_roLink, std::vector<uint8_t> p_vu8Bytes, uint32_t p_u32PeerIp,
                       uint16_t p_u16PeerPort, bool p_bFaults);
  void InboundFrame(Bus &p_roBus, std::vector<uint8_t> p_vu8Bytes, bool p_bFaults);
  // Decodes a request for one sensor and answers it; p_poLink is null for a bus sensor.
  void Serve(int32_t p_i32Sensor, const std::vector<uint8_t> &p_rvu8Bytes, const KTX_SimPeer &p_roPeer,
             UdpLink *p_poLink, Bus *p_poBus);
  void SendDatagram(UdpLink &p_roLink, std::vector<uint8_t> p_vu8Bytes, uint32_t p_u32Ip, uint16_t p_u16Port,
                    bool p_bFaults);
  void SendFrame(Bus &p_roBus, std::vector<uint8_t> p_vu8Framed, bool p_bFaults);
  void WriteBus(Bus &p_roBus, const uint8_t *p_pu8Data, size_t p_szLength);
  // Applies the fault decision's corruption; logs the faults. False when dropped.
  // Where a link sits in its list, and a message held back by an injected delay.
  int32_t UdpIndex(const UdpLink &p_roLink) const;
  int32_t BusIndex(const Bus &p_roBus) const;
  void Delay(int32_t p_i32Kind, int32_t p_i32Link, uint32_t p_u32DelayMs, const std::vector<uint8_t> &p_rvu8Bytes,
             uint32_t p_u32Ip, uint16_t p_u16Port);
  bool ApplyFaults(const std::string &p_strLink, const KTX_SimFaultDecision &p_roDecision, KTX_SimDirection p_eDir,
                   std::vector<uint8_t> &p_rvu8Bytes);

  KTX_SimOptions c_oOptions;
  std::vector<std::unique_ptr<KTX_SimSensor>> c_vpoSensors;
  std::vector<std::unique_ptr<UdpLink>> c_vpoUdp;
  std::vector<std::unique_ptr<Bus>> c_vpoBuses;
  // Per sensor: its UDP link or its bus (index into the lists above).
  std::vector<int32_t> c_vi32Link;
  std::vector<Delayed> c_voDelayed;
  std::vector<Captured> c_voCaptured;
  KTX_SimTrafficLog c_oTraffic;
  // Serialises the loop's work with the accessors' reads.
  mutable OsalThreadMutex c_oLock;
  bool c_bOpen;
  bool c_bLinks;
  int c_iWakeFd;
  std::atomic<bool> c_bStop;
  std::thread c_oThread;
};
