#include "buffers/Crc32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

namespace {

// Bit at a time, straight from the definition: the oracle for the fast paths.
uint32_t CrcBitwise(const uint8_t *p, size_t n) {
  uint32_t reg = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    reg ^= p[i];
    for (int k = 0; k < 8; ++k) {
      reg = (reg & 1u) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
  }
  return ~reg;
}

TEST(Crc32, KnownValues) {
  struct Case {
    const char *text;
    uint32_t crc;
  } cases[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
  };
  for (const Case &c : cases) {
    const auto *p = reinterpret_cast<const uint8_t *>(c.text);
    const auto n = static_cast<uint32_t>(std::strlen(c.text));
    EXPECT_EQ(KTX_Crc32Update(0, p, n), c.crc) << c.text;
    EXPECT_EQ(KTX_Crc32UpdatePortable(0, p, n), c.crc) << c.text;
  }
  EXPECT_EQ(KTX_Crc32Update(0x1234, nullptr, 10), 0x1234u);
}

TEST(Crc32, FastPathsMatchTheDefinitionAtEveryLengthAndAlignment) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(4096 + 16);
  for (auto &b : data) {
    b = static_cast<uint8_t>(rng());
  }
  for (uint32_t offset = 0; offset < 8; ++offset) {
    for (uint32_t n = 0; n <= 300; ++n) {
      const uint32_t expected = CrcBitwise(data.data() + offset, n);
      ASSERT_EQ(KTX_Crc32Update(0, data.data() + offset, n), expected) << n << "@" << offset;
      ASSERT_EQ(KTX_Crc32UpdatePortable(0, data.data() + offset, n), expected) << n << "@" << offset;
    }
  }
  for (uint32_t n : {1652u, 4095u, 4096u}) {
    const uint32_t expected = CrcBitwise(data.data() + 3, n);
    EXPECT_EQ(KTX_Crc32Update(0, data.data() + 3, n), expected) << n;
    EXPECT_EQ(KTX_Crc32UpdatePortable(0, data.data() + 3, n), expected) << n;
  }
}

TEST(Crc32, ChainedUpdatesEqualOnePass) {
  std::mt19937 rng(11);
  std::vector<uint8_t> data(3000);
  for (auto &b : data) {
    b = static_cast<uint8_t>(rng());
  }
  const uint32_t whole = KTX_Crc32Update(0, data.data(), static_cast<uint32_t>(data.size()));
  for (int trial = 0; trial < 200; ++trial) {
    // Split into up to five pieces at random points, including empty pieces.
    std::vector<uint32_t> cuts = {0, static_cast<uint32_t>(data.size())};
    for (int k = 0; k < 4; ++k) {
      cuts.push_back(static_cast<uint32_t>(rng() % (data.size() + 1)));
    }
    std::sort(cuts.begin(), cuts.end());
    uint32_t crc = 0;
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
      crc = KTX_Crc32Update(crc, data.data() + cuts[k], cuts[k + 1] - cuts[k]);
    }
    ASSERT_EQ(crc, whole) << trial;
  }
}

} // namespace
