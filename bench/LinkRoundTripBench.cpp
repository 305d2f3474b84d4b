// Lock-step request/answer round trips of 512-byte payloads through the whole
// device link (channel -> protocol -> UDP transport -> emulated sensor -> back
// through the Ethernet worker) against a bare UDP ping-pong of the same
// datagram size, measured in the same run with every thread pinned to the same
// CPU (placement on different CPUs changes loopback figures threefold). The last
// line printed is the stack's rate as a ratio of the bare ping-pong's.
//
// The stack side runs as operations do: the next request is sent from the
// notification of the previous answer, on the reactor's worker.

#include "link/Channel.h"
#include "link/ChannelList.h"
#include "link/DeviceAddress.h"
#include "link/MessageIds.h"
#include "link/MessageReactor.h"
#include "link/MessageSupervisor.h"
#include "operations/StateMachine.h"
#include "runtime/ActiveObjectBuilder.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "sensor-sim/SensorSim.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t kPayload = 512;
constexpr int kBatch = 200;

std::map<std::string, double> g_rates;

// Sends kBatch ECHO requests one after the other, each from the notification
// of the previous answer.
class EchoLoop : public KTX_StateMachine {
public:
  EchoLoop(KTX_Channel *p_poChannel, const KTX_DeviceAddress &p_roSensor)
      : KTX_StateMachine(KTX_BASE_CLASS_COM_BASE), c_poChannel(p_poChannel), c_aPayload(kPayload, 0x5A) {
    c_oSensor.SetStackVariable();
    c_oSensor.CopyFrom(p_roSensor);
  }

  bool Run(int p_iCount) {
    {
      std::lock_guard<std::mutex> lock(c_oMutex);
      c_iLeft = p_iCount;
      c_bFailed = false;
    }
    SendNext();
    std::unique_lock<std::mutex> lock(c_oMutex);
    c_oDone.wait(lock, [&] { return c_iLeft == 0 || c_bFailed; });
    return !c_bFailed;
  }

  void ChildNotificationOfEvent(KTX_StateMachine *p_poChild) override {
    KTX_Message *request = static_cast<KTX_Message *>(p_poChild);
    const bool answered = request->GetNextChild(nullptr) != nullptr;
    request->DeregisterParent(this);
    request->Delete();
    bool more = false;
    {
      std::lock_guard<std::mutex> lock(c_oMutex);
      if (!answered) {
        c_bFailed = true;
      } else if (--c_iLeft > 0) {
        more = true;
      }
    }
    if (more) {
      SendNext();
    } else {
      c_oDone.notify_all();
    }
  }

private:
  void SendNext() {
    KTX_MessageSupervisor *m = KTX_MessageSupervisor::NewMessage();
    m->SetMessageId(KTX_SMI_ECHO);
    m->SetDestination(c_oSensor);
    m->PutBytes(c_aPayload.data(), kPayload);
    m->RegisterParent(this);
    if (c_poChannel->Submit(m) != KTX_RC_OK) {
      std::lock_guard<std::mutex> lock(c_oMutex);
      c_bFailed = true;
      c_oDone.notify_all();
    }
  }

  KTX_Channel *c_poChannel;
  KTX_DeviceAddress c_oSensor;
  std::vector<uint8_t> c_aPayload;
  std::mutex c_oMutex;
  std::condition_variable c_oDone;
  int c_iLeft = 0;
  bool c_bFailed = false;
};

// The size of one encoded ECHO request with the 512-byte payload, so the bare
// ping-pong moves datagrams of the same size.
int32_t EncodedSize() {
  KTX_DeviceAddress to;
  to.SetStackVariable();
  to.Parse("127.0.0.1:5150");
  KTX_MessageSupervisor *m = KTX_MessageSupervisor::NewMessage();
  m->SetMessageId(KTX_SMI_ECHO);
  m->SetDestination(to);
  std::vector<uint8_t> payload(kPayload, 0x5A);
  m->PutBytes(payload.data(), kPayload);
  m->Encode();
  const int32_t n = m->GetMessageLength();
  m->Delete();
  return n;
}

void BM_StackRoundTrip(benchmark::State &state) {
  KTX_SimOptions options;
  KTX_SimSensorConfig sensor;
  sensor.u16Port = 0;
  options.voSensors.push_back(sensor);
  KTX_SensorSim sim(options);
  if (sim.Start() != KTX_RC_OK) {
    state.SkipWithError("emulator did not start");
    return;
  }
  KTX_MessageReactor::RegisterWithBuilder();
  KTX_ActiveObject *reactor = GetMessageReactor();
  reactor->DoPreStart();
  reactor->DoStart();
  {
    KTX_ChannelList channels;
    KTX_DeviceAddress address;
    address.SetStackVariable();
    const std::string text = "127.0.0.1:" + std::to_string(sim.GetUdpPort(0));
    address.Parse(text.c_str());
    KTX_Channel *channel = nullptr;
    channels.GetChannel(address, channel);
    EchoLoop *loop = new EchoLoop(channel, address);
    loop->Run(10); // opens the channel and warms up
    for (auto _ : state) {
      if (!loop->Run(kBatch)) {
        state.SkipWithError("a request was not answered");
        break;
      }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    loop->Delete();
  }
  reactor->DoPreStop();
  reactor->DoStop();
  reactor->DoDestroy();
  DeleteActiveObjectBuilder();
  sim.Stop();
}

void BM_BareUdpPingPong(benchmark::State &state) {
  const int32_t size = EncodedSize();
  const int server = ::socket(AF_INET, SOCK_DGRAM, 0);
  const int client = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(server, reinterpret_cast<sockaddr *>(&any), sizeof any);
  ::bind(client, reinterpret_cast<sockaddr *>(&any), sizeof any);
  sockaddr_in serverAddress{};
  socklen_t length = sizeof serverAddress;
  ::getsockname(server, reinterpret_cast<sockaddr *>(&serverAddress), &length);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    std::vector<uint8_t> buffer(2048);
    timeval tv{0, 200000};
    ::setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    while (!stop.load()) {
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(server, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
      if (n > 0) {
        ::sendto(server, buffer.data(), static_cast<size_t>(n), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
      }
    }
  });
  std::vector<uint8_t> out(static_cast<size_t>(size), 0x5A), in(2048);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      ::sendto(client, out.data(), out.size(), 0, reinterpret_cast<sockaddr *>(&serverAddress), sizeof serverAddress);
      if (::recv(client, in.data(), in.size(), 0) <= 0) {
        state.SkipWithError("no echo");
        break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  stop = true;
  echo.join();
  ::close(server);
  ::close(client);
}

class RateReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &p_roRuns) override {
    ConsoleReporter::ReportRuns(p_roRuns);
    for (const Run &run : p_roRuns) {
      auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) {
        g_rates[run.benchmark_name()] = it->second;
      }
    }
  }
};

} // namespace

BENCHMARK(BM_BareUdpPingPong)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_StackRoundTrip)->UseRealTime()->MinTime(2.0);

int main(int argc, char **argv) {
  // Every thread of the process (the emulator's, the reactor's, the echo's)
  // inherits this placement.
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  CPU_SET(0, &cpus);
  if (sched_setaffinity(0, sizeof cpus, &cpus) != 0) {
    std::perror("sched_setaffinity");
  }
  SetLogFileName("/dev/null");
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double bare = g_rates["BM_BareUdpPingPong/min_time:2.000/real_time"];
  const double stack = g_rates["BM_StackRoundTrip/min_time:2.000/real_time"];
  std::printf("round trips/s: stack %.0f, bare UDP ping-pong %.0f\n", stack, bare);
  std::printf("stack/bare ratio: %.3f\n", bare > 0 ? stack / bare : 0.0);
  return 0;
}
