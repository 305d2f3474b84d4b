// CRC-32 throughput: our implementation against zlib's crc32 on the sizes that
// matter here (a 1,652-byte message and a 1 MiB file), measured in the same
// run. After the benchmarks it prints our throughput as a ratio of zlib's.

#include "buffers/Crc32.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<uint8_t> &Data() {
  static const std::vector<uint8_t> s_data = [] {
    std::vector<uint8_t> v(1u << 20);
    std::mt19937 rng(1652);
    for (auto &b : v) {
      b = static_cast<uint8_t>(rng());
    }
    return v;
  }();
  return s_data;
}

uint32_t Ours(uint32_t crc, const uint8_t *p, uint32_t n) { return KTX_Crc32Update(crc, p, n); }
uint32_t Portable(uint32_t crc, const uint8_t *p, uint32_t n) { return KTX_Crc32UpdatePortable(crc, p, n); }
uint32_t Zlib(uint32_t crc, const uint8_t *p, uint32_t n) {
  return static_cast<uint32_t>(crc32(crc, p, static_cast<uInt>(n)));
}

template <uint32_t (*F)(uint32_t, const uint8_t *, uint32_t)> void BM_Crc32(benchmark::State &state) {
  const auto n = static_cast<uint32_t>(state.range(0));
  const uint8_t *p = Data().data();
  uint32_t crc = 0;
  for (auto _ : state) {
    // Chaining keeps every call's result alive.
    crc = F(crc, p, n);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

BENCHMARK_TEMPLATE(BM_Crc32, Zlib)->Name("zlib")->Arg(1652);
BENCHMARK_TEMPLATE(BM_Crc32, Ours)->Name("ours")->Arg(1652);
BENCHMARK_TEMPLATE(BM_Crc32, Portable)->Name("ours_tables")->Arg(1652);
BENCHMARK_TEMPLATE(BM_Crc32, Zlib)->Name("zlib")->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Crc32, Ours)->Name("ours")->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Crc32, Portable)->Name("ours_tables")->Arg(1 << 20);

// Collects bytes per second by run name for the closing ratio lines.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        auto it = r.counters.find("bytes_per_second");
        if (it != r.counters.end()) {
          m_rates[r.benchmark_name()] = it->second.value;
        }
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("carry-less multiply path: %s\n", KTX_Crc32UsesCarrylessMultiply() ? "yes" : "no");
    for (const char *size : {"1652", "1048576"}) {
      const double zlib = Rate(std::string("zlib/") + size);
      if (zlib <= 0) {
        continue;
      }
      std::printf("CRC-32 on %s bytes: ours/zlib = %.2f, ours_tables/zlib = %.2f (zlib %.2f GB/s)\n", size,
                  Rate(std::string("ours/") + size) / zlib, Rate(std::string("ours_tables/") + size) / zlib,
                  zlib / 1e9);
    }
  }

private:
  double Rate(const std::string &name) const {
    auto it = m_rates.find(name);
    return it == m_rates.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  // The implementations must agree before their speed means anything.
  const auto &d = Data();
  if (Ours(0, d.data(), static_cast<uint32_t>(d.size())) != Zlib(0, d.data(), static_cast<uint32_t>(d.size())) ||
      Portable(0, d.data(), 1652) != Zlib(0, d.data(), 1652)) {
    std::fprintf(stderr, "CRC-32 results differ from zlib\n");
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
