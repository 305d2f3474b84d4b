#include "buffers/Crc32.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KTX_CRC32_HAVE_CLMUL 1
#else
#define KTX_CRC32_HAVE_CLMUL 0
#endif

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 16;

// Table s gives the register contribution of a byte that still has s bytes to
// travel behind it, so sixteen bytes are folded in with sixteen independent
// look-ups instead of a chain of sixteen.
struct SliceTables {
  uint32_t au32[kSlices][256];
};

constexpr SliceTables MakeSliceTables() {
  SliceTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) {
      c = (c & 1u) != 0 ? (c >> 1) ^ kPolynomial : c >> 1;
    }
    t.au32[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (int s = 1; s < kSlices; ++s) {
      const uint32_t prev = t.au32[s - 1][i];
      t.au32[s][i] = (prev >> 8) ^ t.au32[0][prev & 0xFFu];
    }
  }
  return t;
}

constexpr SliceTables kTables = MakeSliceTables();

inline uint32_t LoadLe32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Works on the raw register (no preset, no final complement).
uint32_t UpdateRegisterPortable(uint32_t reg, const uint8_t *p, uint32_t n) {
  const auto &t = kTables.au32;
  while (n >= 16) {
    const uint32_t a = LoadLe32(p) ^ reg;
    const uint32_t b = LoadLe32(p + 4);
    const uint32_t c = LoadLe32(p + 8);
    const uint32_t d = LoadLe32(p + 12);
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    p += 16;
    n -= 16;
  }
  while (n-- > 0) {
    reg = (reg >> 8) ^ t[0][(reg ^ *p++) & 0xFF];
  }
  return reg;
}

#if KTX_CRC32_HAVE_CLMUL

// Folding constants: x^k mod P in the reflected bit order, shifted left by one
// so that the carry-less product of two reflected operands lands aligned.
// Computed here rather than written as magic numbers.
constexpr uint64_t FoldConstant(int k) {
  uint32_t v = 0x80000000u; // x^0
  for (int i = 0; i < k; ++i) {
    v = (v >> 1) ^ ((v & 1u) != 0 ? kPolynomial : 0u);
  }
  return static_cast<uint64_t>(v) << 1;
}

// Four 128-bit lanes are folded 512 bits ahead (x^(512+32), x^(512-32)); one
// lane is folded 128 bits ahead (x^(128+32), x^(128-32)).
constexpr uint64_t kFold512Low = FoldConstant(544);
constexpr uint64_t kFold512High = FoldConstant(480);
constexpr uint64_t kFold128Low = FoldConstant(160);
constexpr uint64_t kFold128High = FoldConstant(96);

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load128(const uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// Carry-less multiply folding: the data is kept as 128-bit remainders that are
// congruent to the message so far; at the end the last remainder is run
// through the table path, which also takes the tail of fewer than 16 bytes.
__attribute__((target("pclmul,sse4.1"))) uint32_t UpdateRegisterClmul(uint32_t reg, const uint8_t *p,
                                                                         uint32_t n) {
  if (n < 64) {
    return UpdateRegisterPortable(reg, p, n);
  }
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
  __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = Load128(p + 16);
  __m128i x2 = Load128(p + 32);
  __m128i x3 = Load128(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    x0 = Fold(x0, k512, Load128(p));
    x1 = Fold(x1, k512, Load128(p + 16));
    x2 = Fold(x2, k512, Load128(p + 32));
    x3 = Fold(x3, k512, Load128(p + 48));
    p += 64;
    n -= 64;
  }
  x0 = Fold(x0, k128, x1);
  x0 = Fold(x0, k128, x2);
  x0 = Fold(x0, k128, x3);
  while (n >= 16) {
    x0 = Fold(x0, k128, Load128(p));
    p += 16;
    n -= 16;
  }
  uint8_t au8Rest[16];
  _mm_storeu_si128(reinterpret_cast<__m128i *>(au8Rest), x0);
  return UpdateRegisterPortable(UpdateRegisterPortable(0, au8Rest, 16), p, n);
}

bool DetectClmul() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#endif

} // namespace

bool KTX_Crc32UsesCarrylessMultiply() {
#if KTX_CRC32_HAVE_CLMUL
  static const bool s_bClmul = DetectClmul();
  return s_bClmul;
#else
  return false;
#endif
}

uint32_t KTX_Crc32UpdatePortable(uint32_t p_u32Crc, const uint8_t *p_pu8Data, uint32_t p_u32Count) {
  if (p_pu8Data == nullptr || p_u32Count == 0) {
    return p_u32Crc;
  }
  return ~UpdateRegisterPortable(~p_u32Crc, p_pu8Data, p_u32Count);
}

uint32_t KTX_Crc32Update(uint32_t p_u32Crc, const uint8_t *p_pu8Data, uint32_t p_u32Count) {
  if (p_pu8Data == nullptr || p_u32Count == 0) {
    return p_u32Crc;
  }
#if KTX_CRC32_HAVE_CLMUL
  if (KTX_Crc32UsesCarrylessMultiply()) {
    return ~UpdateRegisterClmul(~p_u32Crc, p_pu8Data, p_u32Count);
  }
#endif
  return ~UpdateRegisterPortable(~p_u32Crc, p_pu8Data, p_u32Count);
}
