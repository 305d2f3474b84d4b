// Every request kind over UDP and over a pseudo-terminal bus, with the answers
// checked byte for byte against the wire format built by hand.

#include "SimTestSupport.h"

#include "sensor-sim/SimSoftwareImage.h"

#include "link/MessageIds.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

namespace {

struct LinkCase {
  const char *szName;
  bool bSerial;
};

void PrintTo(const LinkCase &p_roCase, std::ostream *p_poOut) { *p_poOut << p_roCase.szName; }

class SensorSimExchange : public ::testing::TestWithParam<LinkCase> {
protected:
  void SetUp() override {
    KTX_SimOptions options;
    options.voSensors.push_back(FastSensor(GetParam().bSerial));
    c_poSim = std::make_unique<KTX_SensorSim>(options);
    ASSERT_EQ(c_poSim->Start(), KTX_RC_OK);
    c_poClient = GetParam().bSerial ? SimTestClient::Pty(c_poSim->GetPtyPath(0))
                                    : SimTestClient::Udp(0x7F000001u, c_poSim->GetUdpPort(0));
    ASSERT_NE(c_poClient, nullptr);
  }
  void TearDown() override {
    if (c_poSim != nullptr) {
      c_poSim->Stop();
    }
  }

  // The response's address part: no options on UDP; on a bus the requester had
  // no id of its own (0xC1) and the sensor names itself (0xD2 + id).
  std::vector<uint8_t> ResponseAddress() const {
    if (!GetParam().bSerial) {
      return {0x00};
    }
    std::vector<uint8_t> address{0xC1, 0xD2};
    address.insert(address.end(), c_aDefaultId.begin(), c_aDefaultId.end());
    return address;
  }
  uint8_t ResponseProtocol() const { return GetParam().bSerial ? 0xB2 : 0xB4; }

  // Sends one request and checks the whole answer against the expected result
  // and payload; returns the payload.
  std::vector<uint8_t> Expect(uint16_t p_u16Id, const std::vector<uint8_t> &p_rvu8Payload, int32_t p_i32Result,
                              const std::vector<uint8_t> *p_pvu8Expected) {
    auto request = c_poClient->NewRequest(p_u16Id, &c_aDefaultId);
    PutPayload(*request, p_rvu8Payload);
    SimTestClient::Reply reply;
    EXPECT_TRUE(c_poClient->Exchange(*request, reply, 0, 2000)) << "no answer to message " << p_u16Id;
    int32_t result = -1;
    auto decoded = SimTestClient::Decode(reply.vu8Raw, &result);
    if (decoded == nullptr) {
      ADD_FAILURE() << "answer does not decode";
      return {};
    }
    const std::vector<uint8_t> payload = PayloadOf(*decoded);
    const std::vector<uint8_t> &expectedPayload = p_pvu8Expected != nullptr ? *p_pvu8Expected : payload;
    const std::vector<uint8_t> expected =
        ExpectedResponse(ResponseProtocol(), ResponseAddress(), static_cast<uint16_t>(request->GetSequence()),
                         p_i32Result, p_u16Id, expectedPayload);
    EXPECT_EQ(reply.vu8Raw, expected) << "message " << p_u16Id;
    return payload;
  }

  std::unique_ptr<KTX_SensorSim> c_poSim;
  std::unique_ptr<SimTestClient> c_poClient;
};

std::vector<uint8_t> IdentityPayload() {
  std::vector<uint8_t> payload{0, 0, 0, 0x0A};
  payload.insert(payload.end(), c_aDefaultId.begin(), c_aDefaultId.end());
  payload.insert(payload.end(), c_aDefaultMac.begin(), c_aDefaultMac.end());
  return payload;
}

std::vector<uint8_t> LearnPayload(const std::vector<KTX_DeviceAddress::DeviceId> &p_rvExcluded,
                                  uint8_t p_u8Low = 0x00, uint8_t p_u8High = 0xFF) {
  std::vector<uint8_t> payload;
  PutBe32(payload, 500);
  PutBe32(payload, 10);
  payload.insert(payload.end(), 8, p_u8Low);
  payload.insert(payload.end(), 8, p_u8High);
  PutBe32(payload, static_cast<uint32_t>(p_rvExcluded.size()));
  for (const auto &id : p_rvExcluded) {
    payload.insert(payload.end(), id.begin(), id.end());
  }
  return payload;
}

TEST_P(SensorSimExchange, IdentityRequestsAnswerWithFlagsIdAndMac) {
  const std::vector<uint8_t> identity = IdentityPayload();
  Expect(KTX_SMI_HELLO, {}, KTX_RC_OK, &identity);
  Expect(KTX_SMI_LEARN, LearnPayload({}), KTX_RC_OK, &identity);
  const std::vector<uint8_t> echo{1, 2, 0xAA, 0xAB, 0xA0, 3};
  Expect(KTX_SMI_ECHO, echo, KTX_RC_OK, &echo);
  const std::vector<uint8_t> empty;
  Expect(0x0300, {}, KTX_RC_OPERATION_NOT_IMPLEMENTED_YET, &empty);
  if (GetParam().bSerial) {
    // The line gave the requests back to their sender.
    EXPECT_GE(c_poClient->GetEchoes().size(), 4u);
  }
}

TEST_P(SensorSimExchange, LearnIsNotAnsweredWhenExcludedOrOutOfRange) {
  struct Case {
    const char *szWhat;
    std::vector<uint8_t> vu8Payload;
  };
  const KTX_DeviceAddress::DeviceId other{1, 2, 3, 4, 5, 6, 7, 8};
  const Case cases[] = {
      {"excluded", LearnPayload({other, c_aDefaultId})},
      {"below range", LearnPayload({}, 0x0B, 0xFF)},
      {"above range", LearnPayload({}, 0x00, 0x09)},
  };
  for (const Case &c : cases) {
    auto request = c_poClient->NewRequest(KTX_SMI_LEARN);
    PutPayload(*request, c.vu8Payload);
    c_poClient->Send(*request);
    EXPECT_TRUE(c_poClient->Receive(300).empty()) << c.szWhat;
  }
  // Not excluded: answered.
  auto request = c_poClient->NewRequest(KTX_SMI_LEARN);
  PutPayload(*request, LearnPayload({other}));
  c_poClient->Send(*request);
  EXPECT_EQ(c_poClient->Receive(2000).size(), 1u);
}

TEST_P(SensorSimExchange, GetAnswersEveryItemInTheEncodingsTheWizardReads) {
  std::vector<uint8_t> items;
  for (uint16_t item : {1, 2, 3, 8, 9, 10, 11, 49, 50, 83, 84, 85, 87, 4, 86, 160}) {
    PutBe16(items, item);
  }
  std::vector<uint8_t> expected{0x00, 0x01, 0x01, 0x01,  // model: length 1, 1
                                0x00, 0x02, 0x01, 0x01,  // hardware version
                                0x00, 0x03, 0x08};       // device id
  expected.insert(expected.end(), c_aDefaultId.begin(), c_aDefaultId.end());
  for (uint8_t b : {0x00, 0x08, 0x01, 0x01,                          // analog video present
                    0x00, 0x09, 0x04, 0x00, 0x00, 0x00, 0x08,         // lens size 8
                    0x00, 0x0A, 0x04, 0x00, 0x00, 0x00, 0x01,         // pin-out 1
                    0x00, 0x0B, 0x06}) {
    expected.push_back(b);
  }
  expected.insert(expected.end(), c_aDefaultMac.begin(), c_aDefaultMac.end());
  // Description 1 in UTF-16 little-endian, description 2 empty.
  const std::string description = "Crossing North";
  expected.insert(expected.end(), {0x00, 0x31, static_cast<uint8_t>(2 * description.size())});
  for (char c : description) {
    expected.insert(expected.end(), {static_cast<uint8_t>(c), 0});
  }
  expected.insert(expected.end(), {0x00, 0x32, 0x00});
  expected.insert(expected.end(), {0x00, 0x53, 0x04, 0, 0, 0, 3});       // program id 3
  expected.insert(expected.end(), {0x00, 0x54, 0x04, 0, 0, 0x03, 0x01}); // mode 769: no configuration
  const KTX_SimSensorConfig defaults;
  uint8_t version[15];
  expected.insert(expected.end(), {0x00, 0x55, 0x0F});
  KTX_SimSoftwareImage::Normalize(defaults.oBootLoaderVersion).ToBinary(version);
  expected.insert(expected.end(), version, version + 15);
  expected.insert(expected.end(), {0x00, 0x57, 0x0F});
  KTX_SimSoftwareImage::Normalize(defaults.oSoftwareVersion).ToBinary(version);
  expected.insert(expected.end(), version, version + 15);
  // Items the wizard skips take one byte.
  expected.insert(expected.end(), {0x00, 0x04, 0x00, 0x00, 0x56, 0x00, 0x00, 0xA0, 0x00});
  Expect(KTX_SMI_GET, items, KTX_RC_OK, &expected);

  const std::vector<uint8_t> empty;
  Expect(KTX_SMI_GET, {0x00}, KTX_RC_INVALID_PARAMETER, &empty);
}

TEST_P(SensorSimExchange, TimeSetMovesTheClockAndTimesUseTheTextForm) {
  std::vector<uint8_t> set;
  PutBe16(set, KTX_SMIS_TIME);
  set.insert(set.end(), {0x07, 0xEE, 1, 2, 3, 4, 5, 0, 0, 0, 0}); // 2030-01-02 03:04:05
  const std::vector<uint8_t> empty;
  Expect(KTX_SMI_SET, set, KTX_RC_OK, &empty);
  std::vector<uint8_t> bad;
  PutBe16(bad, KTX_SMIS_TIME);
  bad.insert(bad.end(), {0x07, 0xEE, 13, 2, 3, 4, 5, 0, 0, 0, 0});
  Expect(KTX_SMI_SET, bad, KTX_RC_INVALID_PARAMETER, &empty);

  std::vector<uint8_t> items;
  for (uint16_t item : {131, 81, 82, 88, 129, 130}) {
    PutBe16(items, item);
  }
  const std::vector<uint8_t> payload = Expect(KTX_SMI_GET, items, KTX_RC_OK, nullptr);
  ASSERT_EQ(payload.size(), 4u * (2 + 1 + 19) + 2u * (2 + 1 + 4));
  for (size_t i = 0; i < 4; ++i) {
    const size_t at = i * 22;
    EXPECT_EQ(payload[at + 2], 19);
    KTX_DateTime time;
    time.FromText(reinterpret_cast<const char *>(payload.data() + at + 3), 19);
    EXPECT_TRUE(time.IsValid()) << i;
    if (i == 0) {
      EXPECT_EQ(time.GetYear(), 2030);
      EXPECT_EQ(time.GetMonth(), 1);
      EXPECT_EQ(time.GetHour(), 3);
    }
  }
}

TEST_P(SensorSimExchange, SetItemsAreAcceptedRecordedOrRefused) {
  const std::vector<uint8_t> empty;
  // The Video page's request for camera 1 at QQVGA, as packed integers.
  std::vector<uint8_t> format;
  PutBe16(format, KTX_SMIS_VIDEO_DISPLAY_FORMAT);
  const std::vector<uint8_t> numbers{1, 17, 0, 8, 0xFC, 0x01, 0x04, 16, 17, 22, 4, 20, 40, 3, 21, 0};
  format.insert(format.end(), numbers.begin(), numbers.end());
  Expect(KTX_SMI_SET, format, KTX_RC_OK, &empty);
  const KTX_SimSensorStatus status = c_poSim->GetStatus(0);
  EXPECT_EQ(status.u32DisplayFormatCount, 1u);
  EXPECT_EQ(status.vu32DisplayFormat,
            (std::vector<uint32_t>{1, 17, 0, 8, 260, 16, 17, 22, 4, 20, 40, 3, 21, 0}));

  struct Case {
    uint16_t u16Item;
    std::vector<uint8_t> vu8Values;
    int32_t i32Result;
  };
  const Case cases[] = {
      {KTX_SMIS_ZERO_FLASH_CONFIG_AND_SRAM, {0x42, 0xF0, 0, 0, 0, 0, 0, 8}, KTX_RC_OK},
      {KTX_SMIS_ZERO_FLASH_CONFIG_AND_SRAM, {0x42, 0x00, 0, 0, 0, 0, 0, 8}, KTX_RC_INVALID_PARAMETER},
      {KTX_SMIS_ZERO_FLASH_CONFIG, {0x42, 0xF0, 0}, KTX_RC_BUFFER_EMPTY},
      {KTX_SMIS_VIDEO_STATS_RESET, {}, KTX_RC_OK},
      {KTX_SMIS_CAMERA_REGISTER, {}, KTX_RC_OPERATION_NOT_IMPLEMENTED_YET},
      {99, {}, KTX_RC_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> payload;
    PutBe16(payload, c.u16Item);
    payload.insert(payload.end(), c.vu8Values.begin(), c.vu8Values.end());
    Expect(KTX_SMI_SET, payload, c.i32Result, &empty);
  }
}

TEST_P(SensorSimExchange, ModeChangeGoesSilentAndComesBackInTheNewProgram) {
  const KTX_DateTime bootBefore = c_poSim->GetStatus(0).oBootTime;
  std::vector<uint8_t> order;
  for (uint32_t v : {50u, 1u, 256u, 0u, 0u, 0u}) {
    PutBe32(order, v);
  }
  const std::vector<uint8_t> empty;
  Expect(KTX_SMI_SET_MODE, order, KTX_RC_OK, &empty);
  ASSERT_TRUE(WaitUntil([&] { return c_poSim->GetStatus(0).bRebooting; }, 5000));
  // Silent while it reboots.
  auto hello = c_poClient->NewRequest(KTX_SMI_HELLO);
  c_poClient->Send(*hello);
  EXPECT_TRUE(c_poClient->Receive(20).empty() || !c_poSim->GetStatus(0).bRebooting);
  ASSERT_TRUE(WaitUntil([&] { return !c_poSim->GetStatus(0).bRebooting; }, 5000));
  c_poClient->Receive(50, 10);
  std::vector<uint8_t> items;
  PutBe16(items, 83);
  PutBe16(items, 84);
  const std::vector<uint8_t> expected{0x00, 0x53, 0x04, 0, 0, 0, 1, 0x00, 0x54, 0x04, 0, 0, 0x01, 0x00};
  Expect(KTX_SMI_GET, items, KTX_RC_OK, &expected);
  EXPECT_GT(KTX_DateTime::SecondsBetween(c_poSim->GetStatus(0).oBootTime, bootBefore), 0);

  std::vector<uint8_t> bad;
  for (uint32_t v : {0u, 2u, 768u, 0u, 0u, 0u}) {
    PutBe32(bad, v);
  }
  Expect(KTX_SMI_SET_MODE, bad, KTX_RC_INVALID_PARAMETER, &empty);
}


TEST_P(SensorSimExchange, ConfigurationWrittenWithFlashCommitReadsBack) {
  std::vector<uint8_t> config(1000);
  for (size_t i = 0; i < config.size(); ++i) {
    config[i] = static_cast<uint8_t>(i * 7 + 0xA0);
  }
  std::vector<uint8_t> open;
  for (uint32_t v : {4u, 2u, 0u, 1000u, 1000u}) {
    PutBe32(open, v);
  }
  const std::vector<uint8_t> opened = Expect(KTX_SMI_FILE_OPEN, open, KTX_RC_OK, nullptr);
  ASSERT_EQ(opened.size(), 4u);
  const uint32_t handle = GetBe32(opened, 0);
  for (uint32_t at = 0; at < 1000; at += 512) {
    const uint32_t n = std::min<uint32_t>(512, 1000 - at);
    std::vector<uint8_t> write;
    PutBe32(write, handle);
    PutBe32(write, at);
    PutBe32(write, n);
    write.insert(write.end(), config.begin() + at, config.begin() + at + n);
    std::vector<uint8_t> answer;
    PutBe32(answer, handle);
    PutBe32(answer, at);
    PutBe32(answer, n);
    Expect(KTX_SMI_FILE_WRITE_DIRECT, write, KTX_RC_OK, &answer);
  }
  std::vector<uint8_t> flash;
  PutBe32(flash, handle);
  std::vector<uint8_t> done;
  PutBe32(done, handle);
  PutBe32(done, 0);
  PutBe32(done, 0);
  Expect(KTX_SMI_FILE_WRITE_FLASH, flash, KTX_RC_OK, &done);
  const std::vector<uint8_t> empty;
  Expect(KTX_SMI_FILE_CLOSE, flash, KTX_RC_OK, &empty);
  // A close repeated after a lost answer succeeds; an unknown handle does not.
  Expect(KTX_SMI_FILE_CLOSE, flash, KTX_RC_OK, &empty);
  std::vector<uint8_t> unknown;
  PutBe32(unknown, 0x12345678);
  Expect(KTX_SMI_FILE_CLOSE, unknown, KTX_RC_INVALID_PARAMETER, &empty);

  std::vector<uint8_t> openRead;
  for (uint32_t v : {4u, 1u, 0u, 0u, 0u}) {
    PutBe32(openRead, v);
  }
  const uint32_t readHandle = GetBe32(Expect(KTX_SMI_FILE_OPEN, openRead, KTX_RC_OK, nullptr), 0);
  std::vector<uint8_t> back;
  for (uint32_t at = 0; at < 1000;) {
    std::vector<uint8_t> read;
    PutBe32(read, readHandle);
    PutBe32(read, at);
    PutBe32(read, 512);
    const uint32_t n = std::min<uint32_t>(512, 1000 - at);
    std::vector<uint8_t> answer;
    for (uint32_t v : {readHandle, 0u, 1000u, at, n}) {
      PutBe32(answer, v);
    }
    answer.push_back(at + n >= 1000 ? 1 : 0);
    answer.insert(answer.end(), config.begin() + at, config.begin() + at + n);
    Expect(KTX_SMI_FILE_READ_DIRECT, read, KTX_RC_OK, &answer);
    at += n;
  }
  EXPECT_EQ(c_poSim->GetStatus(0).vu8Config, config);
}

TEST_P(SensorSimExchange, FileOpenRefusalsFollowTheFileAndDirection) {
  struct Case {
    uint32_t u32File;
    uint32_t u32Mode;
    int32_t i32Result;
  };
  const Case cases[] = {
      {4, 1, KTX_RC_FILE_NOT_FOUND},           // no configuration stored yet
      {1, 1, KTX_RC_OPERATION_NOT_PERMITTED},  // software is write-only
      {3, 2, KTX_RC_OPERATION_NOT_PERMITTED},  // the operation log is read-only
      {9, 1, KTX_RC_FILE_ACCESS_NOT_SUPPORTED},
      {4, 7, KTX_RC_INVALID_PARAMETER},
  };
  const std::vector<uint8_t> empty;
  for (const Case &c : cases) {
    std::vector<uint8_t> open;
    for (uint32_t v : {c.u32File, c.u32Mode, 0u, 0u, 0u}) {
      PutBe32(open, v);
    }
    Expect(KTX_SMI_FILE_OPEN, open, c.i32Result, &empty);
  }
}

TEST_P(SensorSimExchange, OperationLogAndSnapshotAreReadable) {
  auto readAll = [this](uint32_t p_u32File, std::vector<uint32_t> p_vu32Options) {
    std::vector<uint8_t> open;
    for (uint32_t v : {p_u32File, 1u, 0u, 0u, 0u}) {
      PutBe32(open, v);
    }
    for (uint32_t v : p_vu32Options) {
      PutBe32(open, v);
    }
    const uint32_t handle = GetBe32(Expect(KTX_SMI_FILE_OPEN, open, KTX_RC_OK, nullptr), 0);
    std::vector<uint8_t> data;
    for (int block = 0; block < 2000; ++block) {
      std::vector<uint8_t> read;
      PutBe32(read, handle);
      PutBe32(read, static_cast<uint32_t>(data.size()));
      PutBe32(read, 512);
      const std::vector<uint8_t> answer = Expect(KTX_SMI_FILE_READ_DIRECT, read, KTX_RC_OK, nullptr);
      if (answer.size() < 21) {
        break;
      }
      data.insert(data.end(), answer.begin() + 21, answer.end());
      if (answer[20] == 1) {
        break;
      }
    }
    return data;
  };
  const std::vector<uint8_t> log = readAll(3, {});
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), 0);
  const std::string first(reinterpret_cast<const char *>(log.data()));
  EXPECT_NE(first.find("Boot: program 3, mode 769"), std::string::npos) << first;

  const std::vector<uint8_t> jpeg = readAll(2, {1, 75});
  tjhandle handle = tjInitDecompress();
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colours = 0;
  ASSERT_EQ(tjDecompressHeader3(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width, &height,
                                &subsampling, &colours),
            0);
  tjDestroy(handle);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 480);
}

INSTANTIATE_TEST_SUITE_P(Links, SensorSimExchange,
                         ::testing::Values(LinkCase{"udp", false}, LinkCase{"pty", true}),
                         [](const ::testing::TestParamInfo<LinkCase> &p_roInfo) { return p_roInfo.param.szName; });

} // namespace
