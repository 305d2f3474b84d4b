// The device link end to end: channels, protocol, transports and the reactor's
// workers against the sensor emulator over UDP on 127.0.0.1 and over ptys.

#include "LinkPeer.h"

#include "link/Channel.h"
#include "link/ChannelList.h"
#include "link/DeviceAddress.h"
#include "link/ProtocolSupervisorMaster.h"
#include "link/TransportList.h"
#include "link/TransportRs485.h"
#include "link/TransportUdp.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/Thread.h"
#include "sensor-sim/SensorSim.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::unique_ptr<KTX_SensorSim> StartUdpSensor(const KTX_SimFaultRates &p_roFaults = {}, uint64_t p_u64Seed = 7) {
  KTX_SimOptions options;
  KTX_SimSensorConfig sensor;
  sensor.u16Port = 0;
  options.voSensors.push_back(sensor);
  options.u64Seed = p_u64Seed;
  options.aoFaults[KTX_SIM_INBOUND] = p_roFaults;
  options.aoFaults[KTX_SIM_OUTBOUND] = p_roFaults;
  auto sim = std::make_unique<KTX_SensorSim>(options);
  EXPECT_EQ(sim->Start(), KTX_RC_OK);
  return sim;
}

// An address parsed from its text, living where it is declared.
struct Address : KTX_DeviceAddress {
  explicit Address(const std::string &p_strText) {
    SetStackVariable();
    EXPECT_EQ(Parse(p_strText.c_str()), KTX_RC_OK) << p_strText;
  }
};

std::string Udp(uint16_t p_u16Port) { return "127.0.0.1:" + std::to_string(p_u16Port); }

// A folder of COMn links for the serial tests.
std::string ComFolder() {
  char cwd[1024];
  EXPECT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string dir = std::string(cwd) + "/com";
  ::mkdir(dir.c_str(), 0700);
  setenv("TARNVEL_COM_DIR", dir.c_str(), 1);
  return dir;
}

std::unique_ptr<KTX_SensorSim> StartSerialSensors(const std::string &p_strComDir, const std::vector<int32_t> &p_vi32Ports) {
  KTX_SimOptions options;
  options.strComDir = p_strComDir;
  for (int32_t port : p_vi32Ports) {
    KTX_SimSensorConfig sensor;
    sensor.bSerial = true;
    sensor.strBus = "bus" + std::to_string(port);
    sensor.i32ComPort = port;
    sensor.aDeviceId[7] = static_cast<uint8_t>(port);
    options.voSensors.push_back(sensor);
  }
  auto sim = std::make_unique<KTX_SensorSim>(options);
  EXPECT_EQ(sim->Start(), KTX_RC_OK);
  return sim;
}

class DeviceLink : public ::testing::Test {
protected:
  void SetUp() override { UseFreshLogFile(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
  void TearDown() override {
    c_oReactor.Stop();
    OsalSetTestClockSpeed(1);
  }

  // Sends one request through the channel for p_roAddress.
  int32_t Send(RecordingOperation &p_roOp, const KTX_DeviceAddress &p_roAddress, uint16_t p_u16Id,
               KTX_MessageSupervisor **p_ppoRequest = nullptr) {
    KTX_Channel *channel = nullptr;
    EXPECT_EQ(c_oChannels.GetChannel(p_roAddress, channel), KTX_RC_OK);
    KTX_MessageSupervisor *request = p_roOp.NewRequest(p_roAddress, p_u16Id);
    if (p_ppoRequest != nullptr) *p_ppoRequest = request;
    return channel->Submit(request);
  }

  ReactorUnderTest c_oReactor;
  KTX_ChannelList c_oChannels;
};

TEST_F(DeviceLink, UdpRequestIsAnsweredThroughTheEthernetWorker) {
  auto sim = StartUdpSensor();
  const Address sensor(Udp(sim->GetUdpPort(0)));
  RecordingOperation *op = new RecordingOperation();
  ASSERT_EQ(Send(*op, sensor, KTX_SMI_HELLO), KTX_RC_OK);
  ASSERT_TRUE(op->WaitForCount(1));
  const auto outcome = op->Outcomes()[0];
  EXPECT_TRUE(outcome.bAnswered);
  EXPECT_EQ(outcome.i32ResponseProtocol, 180);
  EXPECT_EQ(outcome.u16ResponseId, KTX_SMI_HELLO);
  EXPECT_EQ(outcome.i32ResponseResult, KTX_RC_OK);
  EXPECT_FALSE(outcome.vu8Payload.empty());

  // The worker that carried it exists under its name; the channel is shared by every Ethernet address.
  bool found = false;
  for (int32_t i = 0; i < c_oReactor.Get()->GetWorkerCount(); ++i) {
    found = found || std::string(c_oReactor.Get()->GetWorker(i)->GetThreadName()) == "ReactorEthernet";
  }
  EXPECT_TRUE(found);
  KTX_Channel *a = nullptr, *b = nullptr;
  c_oChannels.GetChannel(sensor, a);
  c_oChannels.GetChannel(Address(Udp(9)), b);
  EXPECT_EQ(a, b);
  op->Release(outcome.poRequest);
  op->Delete();
  sim->Stop();
}

TEST_F(DeviceLink, BackToBackRequestsGoOutOneAfterTheOther) {
  auto sim = StartUdpSensor();
  const Address sensor(Udp(sim->GetUdpPort(0)));
  RecordingOperation *op = new RecordingOperation();
  KTX_MessageSupervisor *first = nullptr, *second = nullptr;
  ASSERT_EQ(Send(*op, sensor, KTX_SMI_HELLO, &first), KTX_RC_OK);
  ASSERT_EQ(Send(*op, sensor, KTX_SMI_HELLO, &second), KTX_RC_OK);
  ASSERT_TRUE(op->WaitForCount(2));
  const auto outcomes = op->Outcomes();
  EXPECT_EQ(outcomes[0].poRequest, first);
  EXPECT_EQ(outcomes[1].poRequest, second);
  EXPECT_TRUE(outcomes[0].bAnswered && outcomes[1].bAnswered);
  // The second went out only after the first was answered: it has the later sequence number.
  EXPECT_NE(first->GetSequence(), second->GetSequence());
  for (const auto &o : outcomes) op->Release(o.poRequest);
  op->Delete();
  sim->Stop();
}

TEST_F(DeviceLink, EveryRequestIsSettledOnceUnderThirtyPercentLoss) {
  // 2 s deadlines pass in 20 ms.
  OsalSetTestClockSpeed(100);
  KTX_SimFaultRates faults;
  faults.f64Drop = 0.30;
  faults.f64Duplicate = 0.05;
  auto sim = StartUdpSensor(faults, 20261211);
  const Address sensor(Udp(sim->GetUdpPort(0)));
  RecordingOperation *op = new RecordingOperation();
  constexpr int kRequests = 200;
  std::map<KTX_Message *, int> sent;
  int answered = 0, timedOut = 0;
  // An operation keeps a handful of requests queued on the channel at a time
  // and lets go of each once it is settled (a machine has at most 20 children).
  constexpr size_t kWindow = 16;
  size_t released = 0;
  auto releaseSettled = [&] {
    const auto outcomes = op->Outcomes();
    for (; released < outcomes.size(); ++released) {
      const auto &o = outcomes[released];
      ASSERT_EQ(sent.count(o.poRequest), 1u);
      EXPECT_EQ(++sent[o.poRequest], 1) << "notified twice";
      if (o.bAnswered) {
        ++answered;
        EXPECT_EQ(o.i32ResponseResult, KTX_RC_OK);
      } else {
        ++timedOut;
        EXPECT_EQ(o.i32RequestResult, KTX_RC_TIME_OUT);
        EXPECT_EQ(o.i32Retries, 0) << "timed out only after all five sends";
      }
      op->Release(o.poRequest);
    }
  };
  for (int i = 0; i < kRequests; ++i) {
    if (static_cast<size_t>(i) >= kWindow) {
      ASSERT_TRUE(op->WaitForCount(static_cast<size_t>(i) - kWindow + 1, 60000));
      releaseSettled();
    }
    KTX_MessageSupervisor *request = nullptr;
    ASSERT_EQ(Send(*op, sensor, KTX_SMI_HELLO, &request), KTX_RC_OK);
    ASSERT_EQ(request->GetParent(), op);
    sent[request] = 0;
  }
  ASSERT_TRUE(op->WaitForCount(kRequests, 60000));
  releaseSettled();
  EXPECT_EQ(answered + timedOut, kRequests);
  EXPECT_GT(answered, kRequests * 3 / 4);
  EXPECT_TRUE(LogContains("Discarding unexpected message")) << "duplicated answers were thrown away";
  op->Delete();
  // Every request and every answer is gone once the operation has let go of them.
  c_oReactor.Stop();
  EXPECT_EQ(KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_MESSAGE_SUPERVISOR).i32Current, 0);
  EXPECT_EQ(KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_COM_BASE).i32Current, 0);
  sim->Stop();
}

TEST_F(DeviceLink, ShutdownWithRequestsInFlightSettlesThemAndStopsTheThreads) {
  // Nobody answers on this port: requests stay on the wire until the shutdown.
  const Address nobody(Udp(9));
  RecordingOperation *op = new RecordingOperation();
  KTX_MessageSupervisor *a = nullptr, *b = nullptr;
  ASSERT_EQ(Send(*op, nobody, KTX_SMI_HELLO, &a), KTX_RC_OK);
  ASSERT_EQ(Send(*op, nobody, KTX_SMI_HELLO, &b), KTX_RC_OK);
  KTX_MessageReactor *reactor = c_oReactor.Get();
  const uint32_t start = OsalGetTickCount();
  reactor->DoPreStop();
  reactor->DoStop();
  EXPECT_LT(OsalGetTickCount() - start, static_cast<uint32_t>(KTX_MessageReactor::c_i32MaxWaitMs + 100))
      << "all three threads stop within one reactor pass";
  EXPECT_TRUE(reactor->IsEthernetFinished());
  for (int32_t i = 0; i < reactor->GetWorkerCount(); ++i) {
    EXPECT_FALSE(reactor->GetWorker(i)->IsRunning());
  }
  ASSERT_TRUE(op->WaitForCount(2, 1000));
  for (const auto &o : op->Outcomes()) {
    EXPECT_FALSE(o.bAnswered);
    EXPECT_EQ(o.i32RequestResult, KTX_RC_ABORTED);
  }
  EXPECT_EQ(op->Outcomes().size(), 2u);
  // Once the link is closed a request fails at once and is told so.
  KTX_MessageSupervisor *late = nullptr;
  EXPECT_EQ(Send(*op, nobody, KTX_SMI_HELLO, &late), KTX_RC_OPERATION_FAILED);
  EXPECT_TRUE(LogContains("Failed.  No Transport"));
  ASSERT_TRUE(op->WaitForCount(3, 1000));
  for (const auto &o : op->Outcomes()) op->Release(o.poRequest);
  op->Delete();
}

TEST_F(DeviceLink, UnexpectedResponseIsDiscarded) {
  KTX_SimFaultRates faults;
  faults.f64Duplicate = 1.0;
  auto sim = StartUdpSensor(faults);
  const Address sensor(Udp(sim->GetUdpPort(0)));
  RecordingOperation *op = new RecordingOperation();
  ASSERT_EQ(Send(*op, sensor, KTX_SMI_HELLO), KTX_RC_OK);
  ASSERT_TRUE(op->WaitForCount(1));
  // The duplicate of the answer matches nothing pending any more.
  for (int i = 0; i < 200 && !LogContains("Discarding unexpected message"); ++i) {
    usleep(10000);
  }
  EXPECT_TRUE(LogContains("Discarding unexpected message"));
  EXPECT_EQ(op->Outcomes().size(), 1u);
  op->Release(op->Outcomes()[0].poRequest);
  op->Delete();
  sim->Stop();
}

TEST_F(DeviceLink, SerialRequestIsAnsweredAndItsEchoThrownAway) {
  const std::string dir = ComFolder();
  auto sim = StartSerialSensors(dir, {204});
  const Address sensor("COM204");
  RecordingOperation *op = new RecordingOperation();
  ASSERT_EQ(Send(*op, sensor, KTX_SMI_HELLO), KTX_RC_OK);
  ASSERT_TRUE(op->WaitForCount(1));
  const auto outcome = op->Outcomes()[0];
  EXPECT_TRUE(outcome.bAnswered);
  EXPECT_EQ(outcome.i32ResponseProtocol, 178);
  EXPECT_TRUE(LogContains("Throwing away echoed Message"));
  EXPECT_TRUE(LogContains("opened COM204."));
  op->Release(outcome.poRequest);
  op->Delete();
  sim->Stop();
  unsetenv("TARNVEL_COM_DIR");
}

TEST_F(DeviceLink, ComRangeOpensTheFirstPortThatExistsAndMovesForAnotherPort) {
  const std::string dir = ComFolder();
  auto sim = StartSerialSensors(dir, {204, 207});
  // COM202 and COM203 have no link in the folder and no such device.
  const Address range("COM202-205");
  const Address seven("COM207");
  RecordingOperation *op = new RecordingOperation();
  ASSERT_EQ(Send(*op, range, KTX_SMI_HELLO), KTX_RC_OK);
  ASSERT_TRUE(op->WaitForCount(1));
  EXPECT_TRUE(op->Outcomes()[0].bAnswered);
  EXPECT_TRUE(LogContains("opened COM204."));
  ASSERT_EQ(Send(*op, seven, KTX_SMI_HELLO), KTX_RC_OK);
  ASSERT_TRUE(op->WaitForCount(2));
  EXPECT_TRUE(op->Outcomes()[1].bAnswered);
  EXPECT_TRUE(LogContains("closed COM204."));
  EXPECT_TRUE(LogContains("opened COM207."));
  for (const auto &o : op->Outcomes()) op->Release(o.poRequest);
  op->Delete();
  sim->Stop();
  unsetenv("TARNVEL_COM_DIR");
}

} // namespace
