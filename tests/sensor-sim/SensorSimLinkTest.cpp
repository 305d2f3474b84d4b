// The emulator's links: malformed input is dropped and logged, a misconfigured
// sensor answers only by broadcast, several sensors share a bus or a process,
// and a bus can be reached through its COM link.

#include "SimTestSupport.h"

#include "support/TestDir.h"

#include "link/MessageIds.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <climits>
#include <unistd.h>

namespace {

int CountLines(const KTX_SensorSim &p_roSim, const char *p_szText) {
  int n = 0;
  for (const std::string &line : p_roSim.GetTrafficLog().GetLines()) {
    n += line.find(p_szText) != std::string::npos ? 1 : 0;
  }
  return n;
}

TEST(SensorSimLinks, MalformedDatagramsAreDroppedAndLoggedAndTheSensorGoesOn) {
  KTX_SimOptions options;
  options.voSensors.push_back(FastSensor(false));
  KTX_SensorSim sim(options);
  ASSERT_EQ(sim.Start(), KTX_RC_OK);
  auto client = SimTestClient::Udp(0x7F000001u, sim.GetUdpPort(0));
  auto valid = client->NewRequest(KTX_SMI_HELLO, &c_aDefaultId);
  ASSERT_EQ(valid->Encode(), KTX_RC_OK);
  const std::vector<uint8_t> good(valid->GetMessageData(), valid->GetMessageData() + valid->GetMessageLength());
  std::vector<uint8_t> badCrc = good;
  badCrc[good.size() - 3] ^= 0x10;
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  std::vector<uint8_t> shorter(good.begin(), good.end() - 1);
  std::vector<uint8_t> unknownProtocol = good;
  unknownProtocol[0] = 0xC5;
  const std::vector<uint8_t> cutOptions{0xB3, 0x02, 0x04, 0x08, 0x01};
  const std::vector<uint8_t> huge(3000, 0xB3);
  struct Case {
    const char *szWhat;
    std::vector<uint8_t> vu8Bytes;
  };
  const Case cases[] = {
      {"one byte", {0xB3}},   {"CRC", badCrc},          {"one byte too many", longer},
      {"one byte short", shorter}, {"unknown protocol", unknownProtocol}, {"options cut", cutOptions},
      {"too long", huge},
  };
  for (const Case &c : cases) {
    client->SendRaw(c.vu8Bytes);
    EXPECT_TRUE(client->Receive(100).empty()) << c.szWhat;
  }
  EXPECT_TRUE(WaitUntil([&] { return CountLines(sim, "DROPPED") == static_cast<int>(std::size(cases)); }, 3000))
      << CountLines(sim, "DROPPED");
  // A request for another device is filtered, not answered.
  const KTX_DeviceAddress::DeviceId other{9, 9, 9, 9, 9, 9, 9, 9};
  auto elsewhere = client->NewRequest(KTX_SMI_HELLO, &other);
  client->Send(*elsewhere);
  EXPECT_TRUE(client->Receive(100).empty());
  EXPECT_EQ(CountLines(sim, "not for this sensor"), 1);
  SimTestClient::Reply reply;
  auto again = client->NewRequest(KTX_SMI_HELLO, &c_aDefaultId);
  EXPECT_TRUE(client->Exchange(*again, reply, 0, 2000));
  // The traffic log decodes the answer with the codec's own text, result included.
  EXPECT_EQ(CountLines(sim, "KTX_RC_OK <<-- (AdrOpts=0) KTX_SMI_HELLO"), 1);
}

TEST(SensorSimLinks, MalformedFramesAreDroppedAndLoggedOnABus) {
  KTX_SimOptions options;
  options.voSensors.push_back(FastSensor(true));
  KTX_SensorSim sim(options);
  ASSERT_EQ(sim.Start(), KTX_RC_OK);
  auto client = SimTestClient::Pty(sim.GetPtyPath(0));
  ASSERT_NE(client, nullptr);
  // Noise, a frame with a bad CRC, a frame cut by a new start byte, then a good request.
  client->SendRaw({0x00, 0x13, 0xAB, 0xAA, 0xB1, 0xC1, 0xD1, 1, 2, 3, 4, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0xAB});
  client->SendRaw({0xAA, 0xB1, 0xC1, 0xAA});
  auto hello = client->NewRequest(KTX_SMI_HELLO);
  SimTestClient::Reply reply;
  EXPECT_TRUE(client->Exchange(*hello, reply, 0, 2000));
  EXPECT_GE(CountLines(sim, "DROPPED malformed (CRC mismatch)"), 1);
}

TEST(SensorSimLinks, MisconfiguredSensorAnswersOnlyByBroadcast) {
  KTX_SimOptions options;
  KTX_SimSensorConfig config = FastSensor(false);
  config.u32NetIp = 0x0A010203u; // 10.1.2.3/24, no gateway: the peer on 127/8 is out of reach
  config.u32NetMask = 0xFFFFFF00u;
  options.voSensors.push_back(config);
  KTX_SensorSim sim(options);
  ASSERT_EQ(sim.Start(), KTX_RC_OK);
  const uint16_t port = sim.GetUdpPort(0);
  // A learn sent to the loopback broadcast address, as the wizard's search does.
  auto client = SimTestClient::Udp(0x7FFFFFFFu, port);
  auto plain = client->NewRequest(KTX_SMI_HELLO);
  client->Send(*plain);
  EXPECT_TRUE(client->Receive(200).empty());
  EXPECT_EQ(CountLines(sim, "no route from 10.1.2.3"), 1);
  auto asking = client->NewRequest(KTX_SMI_HELLO, nullptr, true);
  client->Send(*asking);
  const auto replies = client->Receive(2000);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(CountLines(sim, "->> 127.255.255.255:"), 1);
  auto decoded = SimTestClient::Decode(replies[0].vu8Raw);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->GetProtocol(), 0xB4);
}

TEST(SensorSimLinks, SeveralSensorsShareABusAndEachAnswersItsOwnId) {
  KTX_SimOptions options;
  KTX_SimSensorConfig config = FastSensor(true);
  options.voSensors.push_back(config);
  config.aDeviceId[7] = 0x02;
  config.u32Model = 2;
  options.voSensors.push_back(config);
  KTX_SensorSim sim(options);
  ASSERT_EQ(sim.Start(), KTX_RC_OK);
  ASSERT_EQ(sim.GetPtyPath(0), sim.GetPtyPath(1));
  auto client = SimTestClient::Pty(sim.GetPtyPath(0));
  std::vector<uint8_t> learn;
  PutBe32(learn, 500);
  PutBe32(learn, 10);
  learn.insert(learn.end(), 8, 0x00);
  learn.insert(learn.end(), 8, 0xFF);
  PutBe32(learn, 0);
  auto all = client->NewRequest(KTX_SMI_LEARN);
  PutPayload(*all, learn);
  client->Send(*all);
  EXPECT_EQ(client->Receive(500, 3).size(), 2u);
  // The second pass excludes the first sensor in its payload.
  learn[learn.size() - 1] = 1;
  learn.insert(learn.end(), c_aDefaultId.begin(), c_aDefaultId.end());
  auto second = client->NewRequest(KTX_SMI_LEARN);
  PutPayload(*second, learn);
  client->Send(*second);
  const auto replies = client->Receive(500, 2);
  ASSERT_EQ(replies.size(), 1u);
  auto decoded = SimTestClient::Decode(replies[0].vu8Raw);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->GetSource().GetDeviceId()[7], 0x02);
  // Addressed by id, only that sensor answers.
  std::vector<uint8_t> model;
  PutBe16(model, 1);
  const KTX_DeviceAddress::DeviceId secondId = options.voSensors[1].aDeviceId;
  auto get = client->NewRequest(KTX_SMI_GET, &secondId);
  PutPayload(*get, model);
  client->Send(*get);
  const auto answers = client->Receive(300, 2);
  ASSERT_EQ(answers.size(), 1u);
  auto answer = SimTestClient::Decode(answers[0].vu8Raw);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(PayloadOf(*answer), (std::vector<uint8_t>{0, 1, 1, 2}));
}

TEST(SensorSimLinks, SensorsOnSeveralLoopbackAddressesInOneProcess) {
  const char *argv[] = {"sim", "--udp", "127.0.0.2:0", "--count", "3", "--device-id", "0B00000000000001"};
  KTX_SimOptions options;
  std::string error;
  ASSERT_EQ(KTX_SimOptionParser::Parse(7, argv, options, error), KTX_RC_OK) << error;
  ASSERT_EQ(options.voSensors.size(), 3u);
  KTX_SensorSim sim(options);
  ASSERT_EQ(sim.Start(), KTX_RC_OK);
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sim.GetUdpAddress(i), 0x7F000002u + static_cast<uint32_t>(i));
    auto client = SimTestClient::Udp(sim.GetUdpAddress(i), sim.GetUdpPort(i));
    auto hello = client->NewRequest(KTX_SMI_HELLO);
    SimTestClient::Reply reply;
    ASSERT_TRUE(client->Exchange(*hello, reply, 0, 2000));
    EXPECT_EQ(reply.u32FromIp, sim.GetUdpAddress(i));
    auto decoded = SimTestClient::Decode(reply.vu8Raw);
    ASSERT_NE(decoded, nullptr);
    const std::vector<uint8_t> payload = PayloadOf(*decoded);
    ASSERT_EQ(payload.size(), 18u);
    EXPECT_EQ(payload[11], i + 1);
  }
}

TEST(SensorSimLinks, BusIsLinkedAsAComPortAndUnlinkedAtStop) {
  KTX_SimOptions options;
  KTX_SimSensorConfig config = FastSensor(true);
  config.i32ComPort = 7;
  options.voSensors.push_back(config);
  options.strComDir = TestProcessDir() + "/com";
  auto sim = std::make_unique<KTX_SensorSim>(options);
  ASSERT_EQ(sim->Start(), KTX_RC_OK);
  const std::string link = options.strComDir + "/COM7";
  EXPECT_EQ(sim->GetComLink(0), link);
  char target[PATH_MAX] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim->GetPtyPath(0));
  auto client = SimTestClient::Pty(link);
  ASSERT_NE(client, nullptr);
  auto hello = client->NewRequest(KTX_SMI_HELLO);
  SimTestClient::Reply reply;
  EXPECT_TRUE(client->Exchange(*hello, reply, 0, 2000));
  sim->Stop();
  sim.reset();
  EXPECT_NE(access(link.c_str(), F_OK), 0);
}

} // namespace
