// What the emulated flash keeps: a configuration committed with a flash write
// survives a restart with the same state folder, a write that never reaches its
// flash write changes nothing, and installed software reports its version.

#include "SimTestSupport.h"

#include "sensor-sim/SimSoftwareImage.h"
#include "support/TestDir.h"

#include "link/MessageIds.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

namespace {

class SensorSimState : public ::testing::Test {
protected:
  void Boot() {
    KTX_SimOptions options;
    KTX_SimSensorConfig config = FastSensor(false);
    config.strStateFolder = TestProcessDir() + "/state-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    options.voSensors.push_back(config);
    c_poSim = std::make_unique<KTX_SensorSim>(options);
    ASSERT_EQ(c_poSim->Start(), KTX_RC_OK);
    c_poClient = SimTestClient::Udp(0x7F000001u, c_poSim->GetUdpPort(0));
    ASSERT_NE(c_poClient, nullptr);
  }
  void PowerOff() {
    c_poClient.reset();
    c_poSim->Stop();
    c_poSim.reset();
  }
  void TearDown() override {
    if (c_poSim != nullptr) {
      c_poSim->Stop();
    }
  }

  // One exchange; returns the result and the payload.
  int32_t Call(uint16_t p_u16Id, const std::vector<uint8_t> &p_rvu8Payload, std::vector<uint8_t> *p_pvu8Out = nullptr) {
    auto request = c_poClient->NewRequest(p_u16Id, &c_aDefaultId);
    PutPayload(*request, p_rvu8Payload);
    SimTestClient::Reply reply;
    if (!c_poClient->Exchange(*request, reply, 0, 2000)) {
      return -1;
    }
    int32_t result = -1;
    auto decoded = SimTestClient::Decode(reply.vu8Raw, &result);
    if (decoded == nullptr) {
      return -2;
    }
    if (p_pvu8Out != nullptr) {
      *p_pvu8Out = PayloadOf(*decoded);
    }
    return result;
  }

  // Writes a file through open, blocks of 512 and, when asked, a flash commit
  // polled until its countdown is 0; then closes it. Returns the first failure.
  int32_t WriteFile(uint32_t p_u32File, uint32_t p_u32Address, const std::vector<uint8_t> &p_rvu8Data, bool p_bFlash) {
    std::vector<uint8_t> open;
    for (uint32_t v : {p_u32File, 2u, p_u32Address, static_cast<uint32_t>(p_rvu8Data.size()),
                       static_cast<uint32_t>(p_rvu8Data.size())}) {
      PutBe32(open, v);
    }
    std::vector<uint8_t> out;
    int32_t rc = Call(KTX_SMI_FILE_OPEN, open, &out);
    if (rc != KTX_RC_OK) {
      return rc;
    }
    const uint32_t handle = GetBe32(out, 0);
    for (size_t at = 0; at < p_rvu8Data.size(); at += 512) {
      const size_t n = std::min<size_t>(512, p_rvu8Data.size() - at);
      std::vector<uint8_t> write;
      PutBe32(write, handle);
      PutBe32(write, p_u32Address + static_cast<uint32_t>(at));
      PutBe32(write, static_cast<uint32_t>(n));
      write.insert(write.end(), p_rvu8Data.begin() + static_cast<long>(at), p_rvu8Data.begin() + static_cast<long>(at + n));
      if ((rc = Call(KTX_SMI_FILE_WRITE_DIRECT, write)) != KTX_RC_OK) {
        return rc;
      }
    }
    std::vector<uint8_t> byHandle;
    PutBe32(byHandle, handle);
    for (int poll = 0; p_bFlash && poll < 100; ++poll) {
      if ((rc = Call(KTX_SMI_FILE_WRITE_FLASH, byHandle, &out)) != KTX_RC_OK) {
        return rc;
      }
      if (GetBe32(out, 4) == 0) {
        break;
      }
    }
    return Call(KTX_SMI_FILE_CLOSE, byHandle);
  }

  std::vector<uint8_t> ReadConfig() {
    std::vector<uint8_t> open;
    for (uint32_t v : {4u, 1u, 0u, 0u, 0u}) {
      PutBe32(open, v);
    }
    std::vector<uint8_t> out;
    if (Call(KTX_SMI_FILE_OPEN, open, &out) != KTX_RC_OK) {
      return {};
    }
    const uint32_t handle = GetBe32(out, 0);
    std::vector<uint8_t> data;
    for (int block = 0; block < 100; ++block) {
      std::vector<uint8_t> read;
      PutBe32(read, handle);
      PutBe32(read, static_cast<uint32_t>(data.size()));
      PutBe32(read, 512);
      if (Call(KTX_SMI_FILE_READ_DIRECT, read, &out) != KTX_RC_OK || out.size() < 21) {
        return {};
      }
      data.insert(data.end(), out.begin() + 21, out.end());
      if (out[20] == 1) {
        break;
      }
    }
    return data;
  }

  uint32_t ProgramMode() {
    std::vector<uint8_t> out;
    std::vector<uint8_t> items;
    PutBe16(items, 84);
    return Call(KTX_SMI_GET, items, &out) == KTX_RC_OK && out.size() == 7 ? GetBe32(out, 3) : 0;
  }

  void Reboot(uint32_t p_u32Program, uint32_t p_u32Mode) {
    std::vector<uint8_t> order;
    for (uint32_t v : {1u, p_u32Program, p_u32Mode, 0u, 0u, 0u}) {
      PutBe32(order, v);
    }
    const uint32_t boots = c_poSim->GetStatus(0).u32BootCount;
    ASSERT_EQ(Call(KTX_SMI_SET_MODE, order), KTX_RC_OK);
    ASSERT_TRUE(WaitUntil([&] {
      const KTX_SimSensorStatus status = c_poSim->GetStatus(0);
      return status.u32BootCount > boots && !status.bRebooting;
    }));
  }

  std::unique_ptr<KTX_SensorSim> c_poSim;
  std::unique_ptr<SimTestClient> c_poClient;
};

std::vector<uint8_t> Pattern(size_t p_szLength, uint8_t p_u8Seed) {
  std::vector<uint8_t> data(p_szLength);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<uint8_t>(i * 31 + p_u8Seed);
  }
  return data;
}

TEST_F(SensorSimState, CommittedConfigurationSurvivesARestartAndAnUncommittedWriteChangesNothing) {
  Boot();
  EXPECT_EQ(ProgramMode(), 769u);
  const std::vector<uint8_t> first = Pattern(1300, 5);
  ASSERT_EQ(WriteFile(4, 0, first, true), KTX_RC_OK);
  Reboot(3, 768);
  EXPECT_EQ(ProgramMode(), 768u);
  PowerOff();

  Boot();
  EXPECT_EQ(ProgramMode(), 768u);
  EXPECT_EQ(ReadConfig(), first);
  // Sent completely but closed without a flash write.
  ASSERT_EQ(WriteFile(4, 0, Pattern(700, 9), false), KTX_RC_OK);
  EXPECT_EQ(ReadConfig(), first);
  PowerOff();

  Boot();
  EXPECT_EQ(ReadConfig(), first);
  // An erase zeroes the record's header: no configuration after the reboot.
  std::vector<uint8_t> erase;
  PutBe16(erase, KTX_SMIS_ZERO_FLASH_CONFIG_AND_SRAM);
  PutBe32(erase, 0x42F00000u);
  PutBe32(erase, 8);
  ASSERT_EQ(Call(KTX_SMI_SET, erase), KTX_RC_OK);
  Reboot(3, 768);
  EXPECT_EQ(ProgramMode(), 769u);
  PowerOff();
  Boot();
  EXPECT_EQ(ProgramMode(), 769u);
}

TEST_F(SensorSimState, InstalledSoftwareReportsItsVersionAfterTheRebootAndAcrossRestarts) {
  Boot();
  const KTX_Version version =
      KTX_SimSoftwareImage::Normalize(KTX_Version(3, 1, 200, "b", KTX_DateTime(2018, 2, 3, 4, 5, 6)));
  const std::vector<uint8_t> file = KTX_SimSoftwareImage::BuildSoftwareFile(3, version, Pattern(3000, 1));
  // The wizard writes what follows the 118-byte header at the header's load address.
  const std::vector<uint8_t> image(file.begin() + 118, file.end());
  const uint32_t load = KTX_SimSoftwareImage::LoadAddress(3);
  Reboot(3, 1024);
  EXPECT_EQ(ProgramMode(), 1025u);
  ASSERT_EQ(WriteFile(1, load, image, true), KTX_RC_OK);
  EXPECT_EQ(c_poSim->GetStatus(0).aoInstalled[3], version);
  // Still running the old program until it reboots.
  EXPECT_NE(c_poSim->GetStatus(0).oRunning, version);
  Reboot(3, 768);
  std::vector<uint8_t> items;
  PutBe16(items, 87);
  PutBe16(items, 88);
  std::vector<uint8_t> out;
  ASSERT_EQ(Call(KTX_SMI_GET, items, &out), KTX_RC_OK);
  ASSERT_EQ(out.size(), 3u + 15u + 3u + 19u);
  KTX_Version reported;
  ASSERT_EQ(reported.FromBinary(out.data() + 3, 15), KTX_RC_OK);
  EXPECT_EQ(reported, version);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(out.data() + 21), 19), "2018 02 03 04:05:06");
  PowerOff();

  Boot();
  EXPECT_EQ(c_poSim->GetStatus(0).oRunning, version);
  // An image without the record is refused at the flash write and changes nothing.
  EXPECT_EQ(WriteFile(1, load, Pattern(600, 3), true), KTX_RC_FILE_INVALID_FORMAT);
  EXPECT_EQ(c_poSim->GetStatus(0).aoInstalled[3], version);
}

TEST_F(SensorSimState, FlashCommitCountsDownOverItsDuration) {
  KTX_SimOptions options;
  KTX_SimSensorConfig config = FastSensor(false);
  config.u32FlashMs = 400;
  options.voSensors.push_back(config);
  c_poSim = std::make_unique<KTX_SensorSim>(options);
  ASSERT_EQ(c_poSim->Start(), KTX_RC_OK);
  c_poClient = SimTestClient::Udp(0x7F000001u, c_poSim->GetUdpPort(0));
  std::vector<uint8_t> open;
  for (uint32_t v : {4u, 2u, 0u, 10u, 10u}) {
    PutBe32(open, v);
  }
  std::vector<uint8_t> out;
  ASSERT_EQ(Call(KTX_SMI_FILE_OPEN, open, &out), KTX_RC_OK);
  const uint32_t handle = GetBe32(out, 0);
  std::vector<uint8_t> write;
  for (uint32_t v : {handle, 0u, 10u}) {
    PutBe32(write, v);
  }
  write.insert(write.end(), 10, 0x5A);
  ASSERT_EQ(Call(KTX_SMI_FILE_WRITE_DIRECT, write), KTX_RC_OK);
  std::vector<uint8_t> byHandle;
  PutBe32(byHandle, handle);
  ASSERT_EQ(Call(KTX_SMI_FILE_WRITE_FLASH, byHandle, &out), KTX_RC_OK);
  const uint32_t first = GetBe32(out, 4);
  EXPECT_GT(first, 400u);
  EXPECT_LE(first, 500u);
  uint32_t last = first;
  ASSERT_TRUE(WaitUntil([&] {
    if (Call(KTX_SMI_FILE_WRITE_FLASH, byHandle, &out) != KTX_RC_OK) {
      return false;
    }
    EXPECT_LE(GetBe32(out, 4), last);
    last = GetBe32(out, 4);
    return last == 0;
  }, 5000));
}

} // namespace
