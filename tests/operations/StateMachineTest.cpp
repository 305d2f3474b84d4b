// The state machine base: parent and child links with their references, the
// children's order, the state history, abort and the notification path.

#include "operations/StateMachine.h"

#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

constexpr int32_t kOperationType = KTX_BASE_CLASS_COM_BASE;

// A machine that records what reaches it.
class Recorder : public KTX_StateMachine {
public:
  explicit Recorder(int32_t p_i32ClassType = kOperationType) : KTX_StateMachine(p_i32ClassType) {}
  void ChildNotificationOfEvent(KTX_StateMachine *p_poChild) override {
    notifiedBy.push_back(p_poChild);
    KTX_StateMachine::ChildNotificationOfEvent(p_poChild);
  }
  int32_t Abort() override {
    ++aborts;
    return KTX_StateMachine::Abort();
  }
  std::vector<KTX_StateMachine *> notifiedBy;
  int aborts = 0;
};

// A machine whose children all report that they have aborted.
class AbortsAtOnce : public KTX_StateMachine {
public:
  AbortsAtOnce() : KTX_StateMachine(kOperationType) {}
  int32_t AbortChildren() override {
    KTX_StateMachine::AbortChildren();
    return KTX_RC_ABORTED;
  }
};

int32_t LiveOperations() { return KTX_BaseClass::GetClassCounts(kOperationType).i32Current; }

class StateMachineTest : public ::testing::Test {
protected:
  void SetUp() override {
    UseFreshLogFile(::testing::UnitTest::GetInstance()->current_test_info()->name());
    baseline = LiveOperations();
  }
  void TearDown() override { EXPECT_EQ(LiveOperations(), baseline) << "machines leaked or destroyed twice"; }
  int32_t baseline = 0;
};

std::atomic<uint32_t> g_tick{0};
uint32_t TestTick() { return g_tick.load(); }

class ClockGuard {
public:
  ClockGuard() { OsalSetTickSource(&TestTick); }
  ~ClockGuard() { OsalSetTickSource(nullptr); }
};

} // namespace

TEST_F(StateMachineTest, ParentAndChildHoldReferencesUntilDetached) {
  auto *parent = new Recorder();
  auto *child = new Recorder();
  ASSERT_EQ(child->RegisterParent(parent), KTX_RC_OK);
  EXPECT_EQ(child->GetParent(), parent);
  EXPECT_EQ(parent->GetReferenceCount(), 2);
  EXPECT_EQ(child->GetReferenceCount(), 2);

  // The creator lets go while the link stands: the parent keeps the child alive.
  child->Delete();
  EXPECT_EQ(LiveOperations(), baseline + 2);
  EXPECT_EQ(child->DeregisterParent(parent), KTX_RC_OK);
  EXPECT_EQ(LiveOperations(), baseline + 1);
  EXPECT_EQ(parent->GetNextChild(nullptr), nullptr);
  EXPECT_EQ(parent->GetReferenceCount(), 1);
  parent->Delete();
}

TEST_F(StateMachineTest, TwentyFirstChildIsRefusedWithoutAReference) {
  auto *parent = new Recorder();
  std::vector<Recorder *> children;
  for (int i = 0; i < KTX_StateMachine::c_i32MaxChildren; ++i) {
    children.push_back(new Recorder());
    ASSERT_EQ(children.back()->RegisterParent(parent), KTX_RC_OK);
  }
  auto *extra = new Recorder();
  EXPECT_EQ(parent->RegisterChild(extra), KTX_RC_INTERNAL_OVERFLOW);
  EXPECT_EQ(extra->GetReferenceCount(), 1);

  // Through RegisterParent the refusal reaches the caller and leaves no half link.
  EXPECT_EQ(extra->RegisterParent(parent), KTX_RC_INTERNAL_OVERFLOW);
  EXPECT_EQ(extra->GetParent(), nullptr);
  EXPECT_EQ(extra->GetReferenceCount(), 1);
  EXPECT_EQ(parent->GetReferenceCount(), 1 + KTX_StateMachine::c_i32MaxChildren);
  EXPECT_EQ(parent->GetChildCount(), KTX_StateMachine::c_i32MaxChildren);

  extra->Delete();
  for (Recorder *child : children) {
    child->DeregisterParent(parent);
    child->Delete();
  }
  parent->Delete();
}

TEST_F(StateMachineTest, MisusedLinksAreLoggedAndChangeNothing) {
  auto *parent = new Recorder();
  auto *other = new Recorder();
  auto *child = new Recorder();
  ASSERT_EQ(child->RegisterParent(parent), KTX_RC_OK);

  EXPECT_EQ(child->RegisterParent(other), KTX_RC_OK);
  EXPECT_EQ(child->GetParent(), parent);
  EXPECT_EQ(other->GetReferenceCount(), 1);
  EXPECT_TRUE(LogContains("RegisterParent -- There already is a parent"));

  EXPECT_EQ(parent->RegisterChild(child), KTX_RC_INVALID_PARAMETER);
  EXPECT_TRUE(LogContains("RegisterChild -- Child is already registered"));
  EXPECT_EQ(child->GetReferenceCount(), 2);

  EXPECT_EQ(child->DeregisterParent(other), KTX_RC_OK);
  EXPECT_TRUE(LogContains("DeregisterParent -- Wrong parent"));
  EXPECT_EQ(child->GetParent(), parent);

  EXPECT_EQ(other->DeregisterChild(child), KTX_RC_INVALID_PARAMETER);
  EXPECT_TRUE(LogContains("DeregisterChild -- Child is not registered"));
  const int before = LogCount("DeregisterChild");
  EXPECT_EQ(other->DeregisterChild(nullptr), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(parent->RegisterChild(nullptr), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(LogCount("DeregisterChild"), before);

  EXPECT_EQ(child->RegisterParent(nullptr), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(child->Run(), KTX_RC_OPERATION_NOT_PERMITTED);
  EXPECT_TRUE(LogContains("KTX_StateMachine::Run() - Not inplemented for this Class"));

  child->DeregisterParent(parent);
  child->Delete();
  other->Delete();
  parent->Delete();
}

TEST_F(StateMachineTest, ChildrenKeepRegistrationOrderAndTheLastFillsAGap) {
  auto *parent = new Recorder();
  Recorder *c[4];
  for (auto *&child : c) {
    child = new Recorder();
    child->RegisterParent(parent);
  }
  std::vector<KTX_StateMachine *> order;
  for (KTX_StateMachine *m = parent->GetNextChild(nullptr); m != nullptr; m = parent->GetNextChild(m)) {
    order.push_back(m);
  }
  EXPECT_EQ(order, (std::vector<KTX_StateMachine *>{c[0], c[1], c[2], c[3]}));
  EXPECT_EQ(c[1]->GetNextSibling(), c[2]);
  EXPECT_EQ(c[3]->GetNextSibling(), nullptr);
  EXPECT_EQ(parent->GetNextSibling(), nullptr);
  auto *stranger = new Recorder();
  EXPECT_EQ(parent->GetNextChild(stranger), nullptr);

  c[0]->DeregisterParent(parent);
  order.clear();
  for (KTX_StateMachine *m = parent->GetNextChild(nullptr); m != nullptr; m = parent->GetNextChild(m)) {
    order.push_back(m);
  }
  EXPECT_EQ(order, (std::vector<KTX_StateMachine *>{c[3], c[1], c[2]}));

  parent->DeregisterAllChildren();
  EXPECT_EQ(parent->GetChildCount(), 0);
  for (auto *child : c) {
    EXPECT_EQ(child->GetParent(), nullptr);
    child->Delete();
  }
  stranger->Delete();
  EXPECT_EQ(parent->GetReferenceCount(), 1);
  parent->Delete();
}

TEST_F(StateMachineTest, DeregisterAllChildrenAlsoDropsAChildThatNamesAnotherParent) {
  auto *parent = new Recorder();
  auto *proper = new Recorder();
  auto *stray = new Recorder();
  proper->RegisterParent(parent);
  ASSERT_EQ(parent->RegisterChild(stray), KTX_RC_OK);
  EXPECT_EQ(stray->GetReferenceCount(), 2);

  parent->DeregisterAllChildren();
  EXPECT_EQ(parent->GetChildCount(), 0);
  EXPECT_EQ(stray->GetReferenceCount(), 1);
  EXPECT_EQ(proper->GetReferenceCount(), 1);
  stray->Delete();
  proper->Delete();
  parent->Delete();
}

TEST_F(StateMachineTest, LeafResultFollowsFirstChildren) {
  auto *top = new Recorder();
  auto *middle = new Recorder();
  auto *second = new Recorder();
  auto *leaf = new Recorder();
  middle->RegisterParent(top);
  second->RegisterParent(top);
  leaf->RegisterParent(middle);
  top->SetState(300, 10, 1);
  middle->SetState(300, 10, 2);
  second->SetState(300, 10, 3);
  leaf->SetState(300, 10, KTX_RC_TIME_OUT);

  EXPECT_EQ(top->GetLeafResult(), KTX_RC_TIME_OUT);
  EXPECT_EQ(second->GetLeafResult(), 3);
  auto *fresh = new Recorder();
  EXPECT_EQ(fresh->GetLeafResult(), KTX_RC_STATE_MACHINE_IN_PROGRESS);

  leaf->DeregisterParent(middle);
  EXPECT_EQ(top->GetLeafResult(), 2);
  for (Recorder *m : {leaf, second, middle}) {
    m->DeregisterAllChildren();
    if (m->GetParent() != nullptr) {
      m->DeregisterParent(m->GetParent());
    }
    m->Delete();
  }
  fresh->Delete();
  top->Delete();
}

TEST_F(StateMachineTest, HistoryPushesOnNewStateOrAfterTwoSecondsAndKeepsTen) {
  ClockGuard clock;
  auto *m = new Recorder();
  EXPECT_EQ(m->GetState(), 0);
  EXPECT_EQ(m->GetResult(), KTX_RC_STATE_MACHINE_IN_PROGRESS);
  for (int i = 0; i < KTX_StateMachine::c_i32HistoryDepth; ++i) {
    const auto r = m->GetHistory(i);
    EXPECT_EQ(r.u32Tick + static_cast<uint32_t>(r.i32State + r.i32Result + r.i32Progress), 0u);
  }

  g_tick = 1000;
  m->SetState(300, 10, 0);
  g_tick = 3000; // exactly 2000 ms later: still the same record
  m->SetState(300, 20, 5);
  EXPECT_EQ(m->GetHistory(0).u32Tick, 1000u);
  EXPECT_EQ(m->GetHistory(0).i32Progress, 20);
  EXPECT_EQ(m->GetHistory(1).i32State, 0);
  EXPECT_EQ(m->GetResult(), 5);

  g_tick = 3001;
  m->SetState(300, 30, 0);
  EXPECT_EQ(m->GetHistory(0).u32Tick, 3001u);
  EXPECT_EQ(m->GetHistory(1).i32Progress, 20);

  g_tick = 3002;
  m->SetState(301, 40, 0);
  EXPECT_EQ(m->GetHistory(0).i32State, 301);
  EXPECT_EQ(m->GetHistory(1).i32State, 300);
  EXPECT_EQ(m->GetProgress(), 40);

  // The tick wraps like the platform's: a repeat just after the wrap is recent.
  g_tick = 0xFFFFFFF0u;
  m->SetState(302, 0, 0);
  g_tick = 0x10;
  m->SetState(302, 1, 0);
  EXPECT_EQ(m->GetHistory(0).u32Tick, 0xFFFFFFF0u);

  // Eleven distinct states: the oldest record is gone.
  for (int i = 0; i < 11; ++i) {
    m->SetState(400 + i, i, 0);
  }
  EXPECT_EQ(m->GetHistory(0).i32State, 410);
  EXPECT_EQ(m->GetHistory(9).i32State, 401);
  m->Delete();
}

TEST_F(StateMachineTest, AbortReachesEveryChildAndRecordsItsOutcome) {
  auto *parent = new Recorder();
  Recorder *children[3];
  for (auto *&child : children) {
    child = new Recorder();
    child->RegisterParent(parent);
  }
  EXPECT_EQ(parent->Abort(), KTX_RC_OK);
  EXPECT_EQ(parent->GetState(), KTX_SM_STATE_ABORT_REQUESTED);
  EXPECT_EQ(parent->GetProgress(), 99);
  EXPECT_EQ(parent->GetResult(), KTX_RC_OK);
  for (auto *child : children) {
    EXPECT_EQ(child->aborts, 1);
    EXPECT_EQ(child->GetState(), KTX_SM_STATE_ABORT_REQUESTED);
  }

  auto *done = new AbortsAtOnce();
  EXPECT_EQ(done->Abort(), KTX_RC_ABORTED);
  EXPECT_EQ(done->GetState(), KTX_SM_STATE_ABORTED);
  EXPECT_EQ(done->GetProgress(), 100);
  EXPECT_EQ(done->GetResult(), KTX_RC_ABORTED);

  parent->DeregisterAllChildren();
  for (auto *child : children) {
    child->Delete();
  }
  done->Delete();
  parent->Delete();
}

TEST_F(StateMachineTest, NotificationsClimbToTheTop) {
  auto *top = new Recorder();
  auto *middle = new Recorder();
  auto *leaf = new Recorder();
  middle->RegisterParent(top);
  leaf->RegisterParent(middle);

  leaf->NotifyParentOfEvent();
  ASSERT_EQ(middle->notifiedBy.size(), 1u);
  EXPECT_EQ(middle->notifiedBy[0], leaf);
  // The base forwards: the top hears of it from the middle machine.
  ASSERT_EQ(top->notifiedBy.size(), 1u);
  EXPECT_EQ(top->notifiedBy[0], middle);

  top->NotifyParentOfEvent(); // no parent: nothing happens
  EXPECT_EQ(top->notifiedBy.size(), 1u);

  leaf->DeregisterParent(middle);
  middle->DeregisterParent(top);
  for (Recorder *m : {leaf, middle, top}) {
    m->Delete();
  }
}
