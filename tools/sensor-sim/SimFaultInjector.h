#pragma once
// Seeded fault injection on an emulated link: each message that arrives or
// leaves may be dropped, delayed, duplicated or corrupted, each with its own
// probability per direction. The decisions for the n-th message of a direction
// depend only on the seed, the direction and n (a counter-based generator), so a
// run with the same seed and the same traffic injects the same faults.

#include <cstdint>

enum KTX_SimDirection : int32_t {
  KTX_SIM_INBOUND = 0,
  KTX_SIM_OUTBOUND = 1,
};

struct KTX_SimFaultRates {
  double f64Drop = 0.0;
  double f64Delay = 0.0;
  double f64Duplicate = 0.0;
  double f64Corrupt = 0.0;
  bool Any() const { return f64Drop > 0.0 || f64Delay > 0.0 || f64Duplicate > 0.0 || f64Corrupt > 0.0; }
};

struct KTX_SimFaultDecision {
  uint64_t u64Index = 0;
  bool bDrop = false;
  bool bDuplicate = false;
  uint32_t u32DelayMs = 0;
  // Byte of the message to flip a bit in, -1 for none; the bit mask to flip.
  int32_t i32CorruptByte = -1;
  uint8_t u8CorruptMask = 0;
  bool Any() const { return bDrop || bDuplicate || u32DelayMs != 0 || i32CorruptByte >= 0; }
};

class KTX_SimFaultInjector {
public:
  KTX_SimFaultInjector();

  void SetSeed(uint64_t p_u64Seed) { c_u64Seed = p_u64Seed; }
  uint64_t GetSeed() const { return c_u64Seed; }
  void SetRates(KTX_SimDirection p_eDirection, const KTX_SimFaultRates &p_roRates);
  const KTX_SimFaultRates &GetRates(KTX_SimDirection p_eDirection) const { return c_aoRates[p_eDirection]; }
  // How long a delayed message is held back.
  void SetDelayMs(uint32_t p_u32DelayMs) { c_u32DelayMs = p_u32DelayMs; }
  bool Enabled() const { return c_aoRates[0].Any() || c_aoRates[1].Any(); }

  // The faults for the next message of a direction of p_i32Length bytes.
  KTX_SimFaultDecision Next(KTX_SimDirection p_eDirection, int32_t p_i32Length);

  // A uniform number in [0, 1) from the counter-based generator.
  static double Uniform(uint64_t p_u64Seed, uint64_t p_u64Stream, uint64_t p_u64Index, uint32_t p_u32Draw);

private:
  uint64_t c_u64Seed;
  uint32_t c_u32DelayMs;
  KTX_SimFaultRates c_aoRates[2];
  uint64_t c_au64Count[2];
};
