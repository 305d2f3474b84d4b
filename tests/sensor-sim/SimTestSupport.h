#pragma once
// Shared pieces of the emulator's tests: payload builders and a running emulator.

#include "SimTestClient.h"

#include "sensor-sim/SensorSim.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

inline void PutBe16(std::vector<uint8_t> &p_rvu8Out, uint16_t p_u16Value) {
  p_rvu8Out.push_back(static_cast<uint8_t>(p_u16Value >> 8));
  p_rvu8Out.push_back(static_cast<uint8_t>(p_u16Value));
}

inline void PutBe32(std::vector<uint8_t> &p_rvu8Out, uint32_t p_u32Value) {
  PutBe16(p_rvu8Out, static_cast<uint16_t>(p_u32Value >> 16));
  PutBe16(p_rvu8Out, static_cast<uint16_t>(p_u32Value));
}

inline uint32_t GetBe32(const std::vector<uint8_t> &p_rvu8In, size_t p_szAt) {
  return (static_cast<uint32_t>(p_rvu8In[p_szAt]) << 24) | (static_cast<uint32_t>(p_rvu8In[p_szAt + 1]) << 16) |
         (static_cast<uint32_t>(p_rvu8In[p_szAt + 2]) << 8) | p_rvu8In[p_szAt + 3];
}

inline void PutPayload(KTX_MessageSupervisor &p_roMessage, const std::vector<uint8_t> &p_rvu8Payload) {
  if (!p_rvu8Payload.empty()) {
    p_roMessage.PutBytes(p_rvu8Payload.data(), static_cast<int32_t>(p_rvu8Payload.size()));
  }
}

// The payload bytes of a decoded message.
inline std::vector<uint8_t> PayloadOf(KTX_MessageSupervisor &p_roMessage) {
  p_roMessage.RewindPayload();
  const int32_t n = p_roMessage.GetRemaining();
  const uint8_t *data = p_roMessage.GetPayloadPointer(n);
  return n > 0 && data != nullptr ? std::vector<uint8_t>(data, data + n) : std::vector<uint8_t>();
}

// Waits for a condition with a bounded deadline.
template <typename Pred> bool WaitUntil(Pred p_oPred, int p_iTimeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(p_iTimeoutMs);
  while (!p_oPred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// One fast sensor on 127.0.0.1 with an ephemeral port, or on a bus.
inline KTX_SimSensorConfig FastSensor(bool p_bSerial) {
  KTX_SimSensorConfig config;
  config.bSerial = p_bSerial;
  config.u16Port = 0;
  config.u32RebootMs = 100;
  config.u32FlashMs = 0;
  config.strDescription = "Crossing North";
  return config;
}

inline const KTX_DeviceAddress::DeviceId c_aDefaultId{0x0A, 0, 0, 0, 0, 0, 0, 0x01};
inline const KTX_DeviceAddress::MacAddress c_aDefaultMac{0x02, 0x54, 0x56, 0x00, 0x00, 0x01};
