// Feeds arbitrary bytes to the sensor emulator's receive paths: the first byte
// picks a UDP datagram or bytes on a bus, the rest is what arrived. Whatever comes
// in must be answered or dropped and logged, never crash the emulator.

#include "sensor-sim/SensorSim.h"

#include "runtime/DebugLog.h"

#include <cstddef>
#include <cstdint>

namespace {

KTX_SensorSim &Emulator() {
  static KTX_SensorSim *s_poSim = [] {
    SetLogFileName("/dev/null");
    KTX_SimOptions options;
    KTX_SimSensorConfig udp;
    udp.u16Port = 0;
    udp.u32RebootMs = 0;
    udp.u32FlashMs = 0;
    udp.i32SnapshotWidth = 16;
    udp.i32SnapshotHeight = 16;
    options.voSensors.push_back(udp);
    KTX_SimSensorConfig serial = udp;
    serial.bSerial = true;
    serial.aDeviceId[7] = 2;
    options.voSensors.push_back(serial);
    auto *sim = new KTX_SensorSim(options);
    sim->Open(false);
    return sim;
  }();
  return *s_poSim;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *p_pu8Data, size_t p_szSize) {
  if (p_szSize == 0) {
    return 0;
  }
  KTX_SensorSim &sim = Emulator();
  const int32_t length = static_cast<int32_t>(p_szSize - 1);
  if ((p_pu8Data[0] & 1) == 0) {
    sim.ProcessDatagram(0, p_pu8Data + 1, length, 0x7F000001u, 40000);
  } else {
    sim.ProcessSerial(1, p_pu8Data + 1, length);
  }
  sim.TakeCaptured();
  return 0;
}
