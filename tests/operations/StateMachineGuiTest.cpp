// The page's machine: what it posts for each notification, which children it
// detaches, and how the pending list keeps posted children alive.

#include "operations/StateMachineGUI.h"

#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct Posted {
  uint32_t message;
  KTX_StateMachine *child;
  uint32_t param;
};

// A window that records what is posted to it.
class RecordingWindow : public KTX_WindowPoster {
public:
  bool IsWindowAlive() override { return alive; }
  bool PostNotification(uint32_t p_u32Message, KTX_StateMachine *p_poChild, uint32_t p_u32Param) override {
    if (!accepts) {
      return false;
    }
    posted.push_back(Posted{p_u32Message, p_poChild, p_u32Param});
    return true;
  }
  bool alive = true;
  bool accepts = true;
  std::vector<Posted> posted;
};

class Operation : public KTX_StateMachine {
public:
  explicit Operation(int32_t p_i32ClassType) : KTX_StateMachine(p_i32ClassType) {}
  void Report(int32_t p_i32State, int32_t p_i32Progress, int32_t p_i32Result) {
    SetState(p_i32State, p_i32Progress, p_i32Result);
    NotifyParentOfEvent();
  }
};

// A page machine that keeps children of classes without a finished state.
class KeepingGui : public KTX_StateMachineGUI {
public:
  explicit KeepingGui(KTX_WindowPoster *p_poWindow) : KTX_StateMachineGUI(p_poWindow) {}
  bool KeepChild(KTX_StateMachine *) override { return true; }
};

int32_t Live(int32_t p_i32ClassType) { return KTX_BaseClass::GetClassCounts(p_i32ClassType).i32Current; }

} // namespace

TEST(StateMachineGuiTest, PostedChildOutlivesItsCreatorUntilHandled) {
  RecordingWindow window;
  auto *gui = new KTX_StateMachineGUI(&window);
  gui->SetMessage(KTX_BASE_CLASS_COM_FILE_READER_GUI, KTX_WM_STATE_MACHINE_NOTIFICATION);
  const int32_t before = Live(KTX_BASE_CLASS_COM_FILE_READER_GUI);
  auto *reader = new Operation(KTX_BASE_CLASS_COM_FILE_READER_GUI);
  ASSERT_EQ(reader->RegisterParent(gui), KTX_RC_OK);

  // A step on the way: posted with state and result, the reader stays attached.
  reader->Report(1537, 40, KTX_RC_OK);
  ASSERT_EQ(window.posted.size(), 1u);
  EXPECT_EQ(window.posted[0].message, 1025u);
  EXPECT_EQ(window.posted[0].child, reader);
  EXPECT_EQ(window.posted[0].param, (1537u << 16));
  EXPECT_EQ(reader->GetParent(), gui);

  // Finished: posted once more and detached; then the creator lets go.
  reader->Report(1540, 100, KTX_RC_FILE_END);
  ASSERT_EQ(window.posted.size(), 2u);
  EXPECT_EQ(KTX_StateMachineGUI::GetParamState(window.posted[1].param), 1540);
  EXPECT_EQ(KTX_StateMachineGUI::GetParamResult(window.posted[1].param), KTX_RC_FILE_END);
  EXPECT_EQ(reader->GetParent(), nullptr);
  EXPECT_EQ(gui->GetNextChild(nullptr), nullptr);
  reader->Delete();

  // Two notifications pending: each handled one releases one reference.
  EXPECT_EQ(gui->GetPendingCount(), 2);
  EXPECT_EQ(Live(KTX_BASE_CLASS_COM_FILE_READER_GUI), before + 1);
  EXPECT_EQ(reader->GetProgress(), 100);
  EXPECT_EQ(gui->RemovePendingObject(reader), KTX_RC_OK);
  EXPECT_EQ(Live(KTX_BASE_CLASS_COM_FILE_READER_GUI), before + 1);
  EXPECT_EQ(gui->RemovePendingObject(reader), KTX_RC_OK);
  EXPECT_EQ(Live(KTX_BASE_CLASS_COM_FILE_READER_GUI), before);
  EXPECT_EQ(gui->RemovePendingObject(reader), KTX_RC_INVALID_CALL);
  gui->Delete();
}

TEST(StateMachineGuiTest, NegativeResultIsCarriedInTheLowSixteenBits) {
  const uint32_t param = KTX_StateMachineGUI::MakeNotificationParam(264, -1);
  EXPECT_EQ(param, (264u << 16) | 0xFFFFu);
  EXPECT_EQ(KTX_StateMachineGUI::GetParamState(param), 264);
}

TEST(StateMachineGuiTest, LeafResultIsWhatThePageSees) {
  RecordingWindow window;
  auto *gui = new KTX_StateMachineGUI(&window);
  gui->SetMessage(KTX_BASE_CLASS_COM_SET_MODE, 1025);
  auto *op = new Operation(KTX_BASE_CLASS_COM_SET_MODE);
  auto *message = new Operation(KTX_BASE_CLASS_MESSAGE_SUPERVISOR);
  op->RegisterParent(gui);
  message->RegisterParent(op);
  message->SetState(300, 100, KTX_RC_TIME_OUT);
  op->Report(2050, 50, KTX_RC_OK);
  ASSERT_EQ(window.posted.size(), 1u);
  EXPECT_EQ(KTX_StateMachineGUI::GetParamResult(window.posted[0].param), KTX_RC_TIME_OUT);

  message->DeregisterParent(op);
  message->Delete();
  op->Report(2053, 100, KTX_RC_OK);
  op->Delete();
  while (!window.posted.empty()) {
    EXPECT_EQ(gui->RemovePendingObject(window.posted.back().child), KTX_RC_OK);
    window.posted.pop_back();
  }
  gui->Delete();
}

struct DetachCase {
  int32_t classType;
  int32_t state;
  bool keepingGui;
  bool detached;
};

void PrintTo(const DetachCase &p_roCase, std::ostream *p_poOut) {
  *p_poOut << "class " << p_roCase.classType << " state " << p_roCase.state << (p_roCase.keepingGui ? " kept" : "");
}

class StateMachineGuiDetachTest : public ::testing::TestWithParam<DetachCase> {};

TEST_P(StateMachineGuiDetachTest, ChildLeavesWhenItHasEnded) {
  const DetachCase c = GetParam();
  RecordingWindow window;
  KTX_StateMachineGUI *gui = c.keepingGui ? new KeepingGui(&window) : new KTX_StateMachineGUI(&window);
  gui->SetMessage(c.classType, 1025);
  auto *child = new Operation(c.classType);
  child->RegisterParent(gui);
  child->Report(c.state, 50, KTX_RC_OK);
  EXPECT_EQ(window.posted.size(), 1u);
  EXPECT_EQ(child->GetParent() == nullptr, c.detached);
  if (child->GetParent() != nullptr) {
    child->DeregisterParent(gui);
  }
  EXPECT_EQ(gui->RemovePendingObject(child), KTX_RC_OK);
  child->Delete();
  gui->Delete();
}

INSTANTIATE_TEST_SUITE_P(Table, StateMachineGuiDetachTest,
                         ::testing::Values(
                             // Operations with a finished state of their own stay until they reach it.
                             DetachCase{KTX_BASE_CLASS_COM_ERASE_CONFIG, 3333, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_ERASE_CONFIG, 3332, false, false},
                             DetachCase{KTX_BASE_CLASS_COM_FILE_READER_GUI, 1540, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_FILE_READER_GUI, 1539, false, false},
                             DetachCase{KTX_BASE_CLASS_COM_FILE_WRITER_GUI, 1798, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_LEARN_CHANNEL, 2819, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_LEARN, 2833, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_LEARN, 2819, false, false},
                             DetachCase{KTX_BASE_CLASS_COM_SET_MODE, 2053, false, true},
                             DetachCase{KTX_BASE_CLASS_DEVICE_STATE_READER, 402, false, true},
                             DetachCase{KTX_BASE_CLASS_DEVICE_STATE_READER, 401, false, false},
                             DetachCase{KTX_BASE_CLASS_SOFTWARE_UPDATER, 1030, false, true},
                             DetachCase{KTX_BASE_CLASS_SOFTWARE_UPDATER, 1029, false, false},
                             // Abort and failure end every machine.
                             DetachCase{KTX_BASE_CLASS_COM_FILE_READER_GUI, KTX_SM_STATE_ABORT_REQUESTED, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_FILE_READER_GUI, KTX_SM_STATE_ABORTED, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_FILE_READER_GUI, KTX_SM_STATE_FAILED, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_BASE, KTX_SM_STATE_FAILED, true, true},
                             // A message always leaves; other classes unless the page keeps them.
                             DetachCase{KTX_BASE_CLASS_MESSAGE_SUPERVISOR, 300, true, true},
                             DetachCase{KTX_BASE_CLASS_COM_BASE, 300, false, true},
                             DetachCase{KTX_BASE_CLASS_COM_BASE, 300, true, false}));

TEST(StateMachineGuiTest, NothingPostedStillDecidesTheDetach) {
  RecordingWindow window;
  auto *gui = new KTX_StateMachineGUI(&window);
  gui->SetMessage(KTX_BASE_CLASS_COM_SET_MODE, 1025);
  gui->SetMessage(KTX_BASE_CLASS_COM_LEARN, 0);

  // No map entry; an entry with message 0; a dead window; a failed post; no window.
  struct Case {
    int32_t classType;
    bool alive;
    bool accepts;
    bool attached;
  } cases[] = {
      {KTX_BASE_CLASS_MESSAGE_SUPERVISOR, true, true, true}, {KTX_BASE_CLASS_COM_LEARN, true, true, true},
      {KTX_BASE_CLASS_COM_SET_MODE, false, true, true},      {KTX_BASE_CLASS_COM_SET_MODE, true, false, true},
      {KTX_BASE_CLASS_COM_SET_MODE, true, true, false},
  };
  for (const Case &c : cases) {
    window.alive = c.alive;
    window.accepts = c.accepts;
    gui->SetWindow(c.attached ? &window : nullptr);
    auto *child = new Operation(c.classType);
    child->RegisterParent(gui);
    child->Report(KTX_SM_STATE_FAILED, 100, KTX_RC_OPERATION_FAILED);
    EXPECT_TRUE(window.posted.empty()) << c.classType;
    EXPECT_EQ(child->GetParent(), nullptr) << c.classType;
    EXPECT_EQ(gui->GetPendingCount(), 0);
    EXPECT_EQ(child->GetReferenceCount(), 1) << c.classType;
    child->Delete();
  }
  EXPECT_EQ(gui->GetReferenceCount(), 1);
  gui->Delete();
}

TEST(StateMachineGuiTest, MessageMapUsesTheFirstMatchAndIgnoresEntriesBeyondItsSize) {
  RecordingWindow window;
  auto *gui = new KTX_StateMachineGUI(&window);
  for (int32_t type = 0; type < KTX_StateMachineGUI::c_i32MessageMapSize; ++type) {
    gui->SetMessage(type, 2000u + static_cast<uint32_t>(type));
  }
  gui->SetMessage(KTX_BASE_CLASS_COM_BASE, 9); // map full: no effect
  for (int32_t type : {0, static_cast<int32_t>(KTX_BASE_CLASS_COM_BASE), 76}) {
    auto *child = new Operation(type);
    child->RegisterParent(gui);
    child->Report(KTX_SM_STATE_FAILED, 100, 0);
    child->Delete();
  }
  ASSERT_EQ(window.posted.size(), 3u);
  EXPECT_EQ(window.posted[0].message, 2000u);
  EXPECT_EQ(window.posted[1].message, 2000u + KTX_BASE_CLASS_COM_BASE);
  EXPECT_EQ(window.posted[2].message, 2076u);
  // The page's machine goes with notifications still pending: it releases them.
  gui->Delete();
}

TEST(StateMachineGuiTest, AbortDetachesChildrenThatEndInAbortedOrFailed) {
  class Aborting : public Operation {
  public:
    explicit Aborting(int32_t p_i32State) : Operation(KTX_BASE_CLASS_COM_FILE_WRITER_GUI), endState(p_i32State) {}
    int32_t Abort() override {
      AbortChildren();
      Report(endState, 100, endState == KTX_SM_STATE_ABORTED ? KTX_RC_ABORTED : KTX_RC_TIME_OUT);
      return KTX_RC_ABORTED;
    }
    int32_t endState;
  };
  const int32_t before = Live(KTX_BASE_CLASS_COM_FILE_WRITER_GUI);
  RecordingWindow window;
  auto *gui = new KTX_StateMachineGUI(&window);
  gui->SetMessage(KTX_BASE_CLASS_COM_FILE_WRITER_GUI, 1025);
  Aborting *ops[] = {new Aborting(KTX_SM_STATE_ABORTED), new Aborting(KTX_SM_STATE_FAILED),
                     new Aborting(KTX_SM_STATE_ABORTED)};
  for (auto *op : ops) {
    op->RegisterParent(gui);
    op->Report(1793, 10, 0);
  }
  gui->Abort();
  EXPECT_EQ(gui->GetNextChild(nullptr), nullptr);
  EXPECT_EQ(gui->GetState(), KTX_SM_STATE_ABORT_REQUESTED);
  for (auto *op : ops) {
    op->Delete();
  }
  EXPECT_EQ(gui->GetPendingCount(), 6);
  for (const Posted &p : window.posted) {
    EXPECT_EQ(gui->RemovePendingObject(p.child), KTX_RC_OK);
  }
  EXPECT_EQ(Live(KTX_BASE_CLASS_COM_FILE_WRITER_GUI), before);
  gui->Delete();
}
