// Protocol, transport list and reactor rules that need no peer.

#include "LinkPeer.h"

#include "link/ChannelList.h"
#include "link/ChannelOffline.h"
#include "link/DeviceAddress.h"
#include "link/ProtocolSupervisorMaster.h"
#include "link/TransportList.h"
#include "link/TransportUdp.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

namespace {

TEST(TransportList, RegistersATransportOnceAndRefusesAFifth) {
  UseFreshLogFile("register");
  KTX_ProtocolSupervisorMaster *protocol = new KTX_ProtocolSupervisorMaster();
  KTX_TransportUdp *transports[5];
  for (auto *&t : transports) t = new KTX_TransportUdp();
  EXPECT_EQ(KTX_TransportList::Register(protocol, transports[0]), KTX_RC_OK);
  EXPECT_EQ(KTX_TransportList::Register(protocol, transports[0]), KTX_RC_OK);
  EXPECT_EQ(KTX_TransportList::GetTransportCount(KTX_TRANSPORT_ETHERNET), 1);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(KTX_TransportList::Register(protocol, transports[i]), KTX_RC_OK);
  EXPECT_EQ(KTX_TransportList::Register(protocol, transports[4]), KTX_RC_INTERNAL_ERROR);
  EXPECT_TRUE(LogContains("KTX_TransportList::Register exceeded max count.  Ignored"));
  EXPECT_EQ(KTX_TransportList::GetTransportCount(KTX_TRANSPORT_ETHERNET), 4);
  KTX_TransportList::ClearTransportList();
  EXPECT_EQ(KTX_TransportList::GetTransportCount(KTX_TRANSPORT_ETHERNET), 0);
  for (auto *t : transports) t->Delete();
  protocol->Delete();
}

TEST(Protocol, RequestsThatCannotBeSentAreSettledAtOnce) {
  UseFreshLogFile("settle");
  KTX_ProtocolSupervisorMaster *protocol = new KTX_ProtocolSupervisorMaster();
  RecordingOperation *op = new RecordingOperation();
  KTX_DeviceAddress sensor;
  sensor.SetStackVariable();
  sensor.Parse("127.0.0.1:9");

  KTX_MessageSupervisor *noTransport = op->NewRequest(sensor, KTX_SMI_HELLO);
  EXPECT_EQ(protocol->SendMessage(noTransport), KTX_RC_OPERATION_FAILED);
  EXPECT_TRUE(LogContains("SendMessageOrResponse(MESSAGE_SUPERVISOR_"));

  KTX_MessageSupervisor *aborted = op->NewRequest(sensor, KTX_SMI_HELLO);
  aborted->SetState(KTX_SM_STATE_ABORT_REQUESTED, 0, 0);
  EXPECT_EQ(protocol->SendMessage(aborted), KTX_RC_ABORTING);

  ASSERT_TRUE(op->WaitForCount(2, 1000));
  const auto outcomes = op->Outcomes();
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].i32RequestResult, KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(aborted->GetState(), KTX_SM_STATE_ABORTED);
  EXPECT_EQ(outcomes[1].i32RequestResult, KTX_RC_ABORTED);
  for (const auto &o : outcomes) op->Release(o.poRequest);
  op->Delete();
  protocol->Delete();
}

TEST(Protocol, DeadlineIsTheTimeOutPlusTwoSecondsCappedAtTen) {
  ReactorUnderTest reactor;
  KTX_ChannelList channels;
  KTX_DeviceAddress nobody;
  nobody.SetStackVariable();
  nobody.Parse("127.0.0.1:9");
  KTX_Channel *channel = nullptr;
  ASSERT_EQ(channels.GetChannel(nobody, channel), KTX_RC_OK);
  RecordingOperation *op = new RecordingOperation();
  struct Case {
    int32_t timeout;
    uint32_t expected;
  } cases[] = {{0, 2000}, {500, 2500}, {9000, 10000}};
  for (const Case &c : cases) {
    KTX_MessageSupervisor *m = op->NewRequest(nobody, KTX_SMI_HELLO);
    m->c_i32TimeOut = c.timeout;
    const uint32_t before = OsalGetTickCount();
    ASSERT_EQ(channel->Submit(m), KTX_RC_OK);
    const uint32_t after = OsalGetTickCount();
    EXPECT_GE(m->c_u32Deadline - before, c.expected);
    EXPECT_LE(m->c_u32Deadline - after, c.expected);
    // Settle it before the next one goes out.
    KTX_Message *taken = channel->GetProtocol()->TakePending(m->GetSequence());
    ASSERT_EQ(taken, m);
    taken->DecReferenceCount();
    op->Release(m);
  }
  op->Delete();
}

TEST(MessageReactor, StartHooksRunOnceAndAnIdleReactorStopsQuickly) {
  ReactorUnderTest reactor;
  EXPECT_EQ(reactor.Get()->OnStart(), KTX_MessageReactor::c_i32AlreadyDone);
  EXPECT_EQ(reactor.Get()->OnPreStart(), KTX_MessageReactor::c_i32AlreadyDone);
  EXPECT_EQ(reactor.Get()->GetWorkerCount(), 0) << "no channel, no worker";
  const uint32_t start = OsalGetTickCount();
  reactor.Stop();
  EXPECT_LT(OsalGetTickCount() - start, 600u);
}

TEST(Channel, OfflineChannelSendsNothing) {
  KTX_ChannelList channels;
  KTX_DeviceAddress offline;
  offline.SetStackVariable();
  ASSERT_EQ(offline.Parse("Offline"), KTX_RC_OK);
  KTX_Channel *channel = nullptr;
  ASSERT_EQ(channels.GetChannel(offline, channel), KTX_RC_OK);
  EXPECT_EQ(channel->Open(), KTX_RC_OK);
  KTX_MessageSupervisor *m = KTX_MessageSupervisor::NewMessage();
  EXPECT_EQ(channel->Submit(m), KTX_RC_OPERATION_NOT_PERMITTED);
  m->Delete();
  KTX_DeviceAddress none;
  none.SetStackVariable();
  EXPECT_EQ(channels.GetChannel(none, channel), KTX_RC_INVALID_PARAMETER);
}

} // namespace
