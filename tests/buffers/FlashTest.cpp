#include "OnStack.h"

#include "buffers/BufferFlash.h"
#include "buffers/BufferFlashConfig.h"
#include "buffers/Crc32.h"
#include "buffers/FlashStore.h"
#include "runtime/ReturnCode.h"
#include "support/TestDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kFlash = KTX_FlashStore::c_u32BaseAddress;
constexpr uint32_t kConfigOffset = 0xF00000;

// Every test process gets a backing file of its own.
class FlashTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_path = TestProcessDir() + "/flash.chp";
    KTX_FlashStore::SetBackingFilePath(m_path);
  }
  void TearDown() override { KTX_FlashStore::SetBackingFilePath(""); }

  // Puts bytes into the backing file behind the store's back, as the sensor's
  // own software would have left them.
  void Plant(uint32_t offset, const Bytes &bytes) {
    uint8_t probe;
    ASSERT_EQ(KTX_FlashStore::ReadFlash(kFlash, 1, &probe), KTX_RC_OK); // creates the file
    const int fd = open(m_path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }

  static Bytes Record(const Bytes &data, uint32_t crcXor = 0, int64_t length = -1) {
    const uint32_t crc = KTX_Crc32Update(0, data.data(), static_cast<uint32_t>(data.size())) ^ crcXor;
    const uint32_t len = length < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(length);
    Bytes out = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc >> 16),
                 static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                 static_cast<uint8_t>(len >> 16), static_cast<uint8_t>(len >> 24)};
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }

  std::string m_path;
};

TEST_F(FlashTest, NewStoreIsAnErasedFileOfTheWholeWindow) {
  EXPECT_EQ(KTX_FlashStore::GetBackingFilePath(), m_path);
  uint8_t bytes[16] = {};
  ASSERT_EQ(KTX_FlashStore::ReadFlash(kFlash + 0xFFFFF0, 16, bytes), KTX_RC_OK);
  for (uint8_t b : bytes) {
    EXPECT_EQ(b, 0xFF);
  }
  struct stat st {};
  ASSERT_EQ(stat(m_path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0x1000000);
}

TEST_F(FlashTest, DefaultBackingFileLiesBesideTheProgram) {
  KTX_FlashStore::SetBackingFilePath("");
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string dir(exe, static_cast<size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  EXPECT_EQ(KTX_FlashStore::GetBackingFilePath(), dir + "/DuvavOzuva_Long_2013_06_04_03.chp");
}

TEST_F(FlashTest, ReadFlashChecksTheRange) {
  struct Case {
    uint32_t address;
    uint32_t count;
    int32_t result;
  } cases[] = {
      {kFlash, 1, KTX_RC_OK},
      {kFlash + 0xFFFFFF, 1, KTX_RC_OK},
      {kFlash, 0x1000000, KTX_RC_OK},
      {kFlash - 1, 1, KTX_RC_INVALID_PARAMETER},
      {kFlash, 0, KTX_RC_INVALID_PARAMETER},
      {kFlash + 0xFFFFFF, 2, KTX_RC_INVALID_PARAMETER},
      {kFlash, 0x1000001, KTX_RC_INVALID_PARAMETER},
      {0xFFFFFFFF, 2, KTX_RC_INVALID_PARAMETER},
  };
  Bytes out(0x1000001);
  for (const Case &c : cases) {
    EXPECT_EQ(KTX_FlashStore::ReadFlash(c.address, c.count, out.data()), c.result) << std::hex << c.address;
  }
}

TEST_F(FlashTest, ContentPersistsAcrossMappings) {
  Plant(0x1234, {1, 2, 3});
  // Drop the mapping as a program exit does; the next use maps the file again.
  KTX_FlashStore::SetBackingFilePath(m_path);
  uint8_t bytes[5] = {};
  ASSERT_EQ(KTX_FlashStore::ReadFlash(kFlash + 0x1233, 5, bytes), KTX_RC_OK);
  EXPECT_EQ(Bytes(bytes, bytes + 5), (Bytes{0xFF, 1, 2, 3, 0xFF}));
}

TEST_F(FlashTest, StoreHeldByAnotherProgramFailsAndIsRetried) {
  {
    const int fd = open(m_path.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    uint8_t b;
    EXPECT_EQ(KTX_FlashStore::ReadFlash(kFlash, 1, &b), KTX_RC_OPERATION_FAILED);
    close(fd);
  }
  uint8_t b = 0;
  EXPECT_EQ(KTX_FlashStore::ReadFlash(kFlash, 1, &b), KTX_RC_OK);
  EXPECT_EQ(b, 0xFF);

  KTX_FlashStore::SetBackingFilePath(TestProcessDir() + "/no-such-dir/flash.chp");
  EXPECT_EQ(KTX_FlashStore::ReadFlash(kFlash, 1, &b), KTX_RC_OPERATION_FAILED);
  OnStack<KTX_BufferFlash> flash(KTX_BufferFlash::c_u32ModeAbsoluteRead, kFlash, 4);
  EXPECT_EQ(flash.GetStatus(), KTX_RC_OPERATION_FAILED);
}

TEST_F(FlashTest, ConstructionChecksModeAndRange) {
  struct Case {
    uint32_t mode;
    uint32_t address;
    uint32_t length;
    int32_t status;
    uint32_t base;
  } cases[] = {
      {1, kFlash + 0x10, 4, KTX_RC_OK, kFlash + 0x10},
      {1, kFlash - 4, 8, KTX_RC_INVALID_PARAMETER, 0},
      {1, kFlash + 0xFFFFFC, 8, KTX_RC_INVALID_PARAMETER, 0},
      {1, kFlash, 0, KTX_RC_INVALID_PARAMETER, 0},
      {2, kFlash, 4, KTX_RC_OK, kFlash},
      {2, 0x1000, 4, KTX_RC_INVALID_PARAMETER, 0},
      {3, 0x10, 4, KTX_RC_OK, 0x10},
      {3, 0, 0x1000001, KTX_RC_INVALID_PARAMETER, 0},
      {3, 0xFFFFFC, 8, KTX_RC_INVALID_PARAMETER, 0},
      {3, 0xFFFFFFF0, 4, KTX_RC_INVALID_PARAMETER, 0},
      {4, 0x20, 4, KTX_RC_OK, 0x20},
      {4, 0x20, 0, KTX_RC_INVALID_PARAMETER, 0},
  };
  Plant(0x10, {0xA1, 0xA2, 0xA3, 0xA4});
  for (const Case &c : cases) {
    OnStack<KTX_BufferFlash> flash(c.mode, c.address, c.length);
    EXPECT_EQ(flash.GetStatus(), c.status) << c.mode << " " << std::hex << c.address;
    EXPECT_EQ(flash.GetBaseAddress(), c.base) << c.mode << " " << std::hex << c.address;
    uint8_t out[4] = {};
    uint32_t n = 1;
    if (c.status != KTX_RC_OK) {
      EXPECT_EQ(flash.GetMode(), 0u);
      EXPECT_EQ(flash.Read(out, &n), KTX_RC_OPERATION_NOT_PERMITTED);
      EXPECT_EQ(flash.GetByteCount(&n, nullptr), KTX_RC_OPERATION_NOT_PERMITTED);
    } else {
      EXPECT_EQ(flash.Read(out, &n), KTX_RC_OK);
    }
  }
  OnStack<KTX_BufferFlash> unknown(7, kFlash, 4);
  EXPECT_EQ(unknown.GetStatus(), KTX_RC_OK);
  uint8_t out[4];
  uint32_t n = 1;
  EXPECT_EQ(unknown.ReadAt(kFlash, out, &n), KTX_RC_OPERATION_NOT_PERMITTED);
}

TEST_F(FlashTest, ReadsAreWholeOrNothing) {
  Plant(0x100, {10, 11, 12, 13, 14, 15});
  OnStack<KTX_BufferFlash> flash(KTX_BufferFlash::c_u32ModeOffsetRead, 0x100, 6);
  ASSERT_EQ(flash.GetStatus(), KTX_RC_OK);
  uint8_t out[8] = {};
  struct Step {
    uint32_t ask;
    int32_t result;
    uint8_t first;
    uint32_t remaining;
  } steps[] = {{4, KTX_RC_OK, 10, 2}, {4, KTX_RC_BUFFER_OVERFLOW, 0, 2}, {2, KTX_RC_OK, 14, 0},
               {1, KTX_RC_BUFFER_OVERFLOW, 0, 0}};
  for (const Step &s : steps) {
    out[0] = 0;
    uint32_t n = s.ask;
    EXPECT_EQ(flash.Read(out, &n), s.result) << s.ask;
    EXPECT_EQ(out[0], s.first);
    uint32_t remaining = 99;
    flash.GetByteCount(&remaining, nullptr);
    EXPECT_EQ(remaining, s.remaining);
  }
  // ReadAt takes positions in the buffer's own address space.
  uint32_t n = 2;
  EXPECT_EQ(flash.ReadAt(0x103, out, &n), KTX_RC_OK);
  EXPECT_EQ(out[0], 13);
  n = 2;
  EXPECT_EQ(flash.ReadAt(0xFF, out, &n), KTX_RC_BUFFER_OVERFLOW);
  uint32_t remaining = 99;
  EXPECT_EQ(flash.SetReadPosition(0x10, &remaining, nullptr), KTX_RC_OK);
  EXPECT_EQ(remaining, 0u) << "a cursor below the range leaves nothing to read";
  n = 1;
  EXPECT_EQ(flash.Write(out, &n), KTX_RC_OPERATION_NOT_PERMITTED) << "read-only mode";
}

TEST_F(FlashTest, WritableModesChangeOnlyTheCopy) {
  Plant(0x200, {1, 2, 3, 4});
  OnStack<KTX_BufferFlash> flash(KTX_BufferFlash::c_u32ModeOffsetWrite, 0x200, 4);
  ASSERT_EQ(flash.GetStatus(), KTX_RC_OK);
  uint8_t in[3] = {9, 9, 9};
  uint32_t n = 2;
  EXPECT_EQ(flash.Write(in, &n), KTX_RC_OK);
  n = 3;
  EXPECT_EQ(flash.Write(in, &n), KTX_RC_BUFFER_OVERFLOW);
  n = 1;
  EXPECT_EQ(flash.WriteAt(0x203, in, &n), KTX_RC_OK);
  EXPECT_EQ(Bytes(flash.GetData(), flash.GetData() + 4), (Bytes{9, 9, 3, 9}));
  uint8_t stored[4];
  ASSERT_EQ(KTX_FlashStore::ReadFlash(kFlash + 0x200, 4, stored), KTX_RC_OK);
  EXPECT_EQ(Bytes(stored, stored + 4), (Bytes{1, 2, 3, 4}));
}

TEST_F(FlashTest, ConfigurationRecords) {
  const Bytes data = {'T', 'o', 'k', 'e', 'n', 's', 0, 0xFF, 0x42};
  struct Case {
    const char *what;
    Bytes record;
    uint32_t maximum;
    int32_t status;
  } cases[] = {
      {"valid", Record(data), 0x100000, KTX_RC_OK},
      {"erased", Bytes(8, 0xFF), 0x100000, KTX_RC_BUFFER_EMPTY},
      {"erased crc word", {0xFF, 0xFF, 0xFF, 0xFF, 9, 0, 0, 0}, 0x100000, KTX_RC_BUFFER_EMPTY},
      {"erased length word", {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF}, 0x100000, KTX_RC_BUFFER_EMPTY},
      {"too long", Record(data), 8, KTX_RC_BUFFER_OVERFLOW},
      {"longer than the maximum read", Record(data, 0, 0x100001), 0x100000, KTX_RC_BUFFER_OVERFLOW},
      {"wrong crc", Record(data, 0x00010000), 0x100000, KTX_RC_CRC_FAILED},
      {"length cut short", Record(data, 0, 8), 0x100000, KTX_RC_CRC_FAILED},
      {"empty record", Record({}), 0x100000, KTX_RC_OK},
  };
  for (const Case &c : cases) {
    Plant(kConfigOffset, c.record);
    OnStack<KTX_BufferFlashConfig> config(KTX_BufferFlash::c_u32ModeOffsetRead, kConfigOffset, 0, 0, c.maximum);
    EXPECT_EQ(config.GetStatus(), c.status) << c.what;
    uint32_t remaining = 99, total = 99;
    uint8_t out[32] = {};
    uint32_t n = static_cast<uint32_t>(data.size());
    if (c.status == KTX_RC_OK) {
      const Bytes expected(c.record.begin() + 8, c.record.end());
      EXPECT_EQ(config.GetHeaderLength(), 8u);
      EXPECT_EQ(config.GetBaseAddress(), kConfigOffset + 8) << c.what;
      EXPECT_EQ(config.GetByteCount(&remaining, &total), KTX_RC_OK);
      EXPECT_EQ(total, expected.size()) << c.what;
      n = static_cast<uint32_t>(expected.size());
      if (n > 0) {
        EXPECT_EQ(config.Read(out, &n), KTX_RC_OK);
        EXPECT_EQ(Bytes(out, out + n), expected) << c.what;
      }
      n = 1;
      EXPECT_NE(config.Read(out, &n), KTX_RC_OK) << c.what << ": nothing past the data";
    } else {
      EXPECT_EQ(config.GetHeaderLength(), 0u) << c.what;
      EXPECT_EQ(config.GetBaseAddress(), 0u) << c.what;
      EXPECT_EQ(config.Read(out, &n), KTX_RC_OPERATION_NOT_PERMITTED) << c.what;
    }
    Plant(kConfigOffset, Bytes(c.record.size(), 0xFF));
  }
}

TEST_F(FlashTest, ConfigurationRecordLimitsAndModes) {
  Plant(0x1000, Record({1, 2, 3, 4}));
  struct Case {
    const char *what;
    uint32_t mode;
    uint32_t address;
    uint32_t minimum;
    uint32_t maximum;
    int32_t status;
  } cases[] = {
      {"shorter than the minimum", 3, 0x1000, 5, 100, KTX_RC_BUFFER_OVERFLOW},
      {"exact limits", 3, 0x1000, 4, 4, KTX_RC_OK},
      {"mode 4 reads as well", 4, 0x1000, 0, 100, KTX_RC_OK},
      {"absolute modes are refused", 1, kFlash + 0x1000, 0, 100, KTX_RC_INVALID_PARAMETER},
      {"header beyond the window", 3, 0xFFFFFC, 0, 100, KTX_RC_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferFlashConfig> config(c.mode, c.address, 0, c.minimum, c.maximum);
    EXPECT_EQ(config.GetStatus(), c.status) << c.what;
  }
  // Data running past the end of the window.
  Plant(0xFFFFF0, Record({}, 0, 100));
  OnStack<KTX_BufferFlashConfig> config(3, 0xFFFFF0, 0, 0, 1000);
  EXPECT_EQ(config.GetStatus(), KTX_RC_INVALID_PARAMETER);
}

} // namespace
