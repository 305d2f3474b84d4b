#include "sensor-sim/SimFaultInjector.h"

namespace {

uint64_t SplitMix64(uint64_t p_u64Value) {
  uint64_t z = p_u64Value + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

} // namespace

KTX_SimFaultInjector::KTX_SimFaultInjector() : c_u64Seed(1), c_u32DelayMs(300), c_aoRates{}, c_au64Count{0, 0} {}

void KTX_SimFaultInjector::SetRates(KTX_SimDirection p_eDirection, const KTX_SimFaultRates &p_roRates) {
  c_aoRates[p_eDirection] = p_roRates;
}

double KTX_SimFaultInjector::Uniform(uint64_t p_u64Seed, uint64_t p_u64Stream, uint64_t p_u64Index,
                                     uint32_t p_u32Draw) {
  uint64_t x = SplitMix64(p_u64Seed ^ (p_u64Stream * 0xD6E8FEB86659FD93ull));
  x = SplitMix64(x ^ p_u64Index);
  x = SplitMix64(x + p_u32Draw);
  return static_cast<double>(x >> 11) * (1.0 / 9007199254740992.0);
}

KTX_SimFaultDecision KTX_SimFaultInjector::Next(KTX_SimDirection p_eDirection, int32_t p_i32Length) {
  KTX_SimFaultDecision decision;
  decision.u64Index = c_au64Count[p_eDirection]++;
  const KTX_SimFaultRates &rates = c_aoRates[p_eDirection];
  if (!rates.Any()) {
    return decision;
  }
  // Every draw is taken whatever the earlier ones decided, so one fault never
  // shifts the decisions of another.
  const uint64_t stream = static_cast<uint64_t>(p_eDirection) + 1;
  const double drop = Uniform(c_u64Seed, stream, decision.u64Index, 0);
  const double duplicate = Uniform(c_u64Seed, stream, decision.u64Index, 1);
  const double delay = Uniform(c_u64Seed, stream, decision.u64Index, 2);
  const double corrupt = Uniform(c_u64Seed, stream, decision.u64Index, 3);
  const double where = Uniform(c_u64Seed, stream, decision.u64Index, 4);
  const double bit = Uniform(c_u64Seed, stream, decision.u64Index, 5);
  decision.bDrop = drop < rates.f64Drop;
  if (decision.bDrop) {
    return decision;
  }
  decision.bDuplicate = duplicate < rates.f64Duplicate;
  if (delay < rates.f64Delay) {
    decision.u32DelayMs = c_u32DelayMs == 0 ? 1 : c_u32DelayMs;
  }
  if (corrupt < rates.f64Corrupt && p_i32Length > 0) {
    decision.i32CorruptByte = static_cast<int32_t>(where * p_i32Length);
    if (decision.i32CorruptByte >= p_i32Length) {
      decision.i32CorruptByte = p_i32Length - 1;
    }
    decision.u8CorruptMask = static_cast<uint8_t>(1u << static_cast<uint32_t>(bit * 8.0));
  }
  return decision;
}
