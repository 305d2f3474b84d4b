#include "runtime/ActiveObject.h"
#include "runtime/ActiveObjectBuilder.h"
#include "runtime/ActiveObjectBuilderSupervisor.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

// A small active object: its body counts heartbeats until asked to stop. Hooks
// record their calls and return what the test asks of them.
class ProbeActive : public KTX_ActiveObject {
public:
  enum Hook { eCreate, ePreStart, eStart, ePreStop, eStop, eDestroy, eHookCount };

  ProbeActive(int32_t p_i32ClassType, const char *p_szName, std::vector<std::string> &p_roCalls,
              std::atomic<bool> &p_rbDestroyed)
      : KTX_ActiveObject(p_i32ClassType, nullptr, p_szName, 5, 0x4000, nullptr, 0), c_roCalls(p_roCalls),
        c_rbDestroyed(p_rbDestroyed) {
    SetRunObject(this);
  }
  ~ProbeActive() override { c_rbDestroyed = true; }

  int32_t Run(void *p_poUser, int32_t p_i32Parameter) override {
    c_poSeenUser = p_poUser;
    c_i32SeenParameter = p_i32Parameter;
    c_poSeenThread = GetCurrentThread();
    // Bounded: the owner stops the object within the test's deadlines.
    while (!IsStopRequested()) {
      AdvanceHeartbeat();
      OsalSleep(1);
    }
    SetBodyFinished();
    return 0;
  }

  int32_t OnCreate() override { return Record("OnCreate", eCreate); }
  int32_t OnPreStart() override { return Record("OnPreStart", ePreStart); }
  int32_t OnStart() override { return Record("OnStart", eStart); }
  int32_t OnPreStop() override { return Record("OnPreStop", ePreStop); }
  int32_t OnStop() override { return Record("OnStop", eStop); }
  int32_t OnDestroy() override {
    ForgetMessageReactor(this);
    return Record("OnDestroy", eDestroy);
  }

  int32_t c_ai32Results[eHookCount] = {};
  std::atomic<void *> c_poSeenUser{nullptr};
  std::atomic<int32_t> c_i32SeenParameter{-1};
  std::atomic<KTX_Thread *> c_poSeenThread{nullptr};

private:
  int32_t Record(const char *p_szHook, Hook p_eHook) {
    c_roCalls.push_back(p_szHook);
    return c_ai32Results[p_eHook];
  }
  std::vector<std::string> &c_roCalls;
  std::atomic<bool> &c_rbDestroyed;
};

class ActiveObjectTest : public ::testing::Test {
protected:
  void SetUp() override { UseFreshLogFile(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
  void TearDown() override {
    KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, nullptr);
    DeleteActiveObjectBuilder();
  }
  ProbeActive *Make(const char *p_szName) {
    return new ProbeActive(KTX_BASE_CLASS_TEST_DIAGNOSTICS, p_szName, c_oCalls, c_bDestroyed);
  }
  std::vector<std::string> c_oCalls;
  std::atomic<bool> c_bDestroyed{false};
};

TEST_F(ActiveObjectTest, FullLifeCycle) {
  ProbeActive *object = Make("Pump");
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eCreated);
  EXPECT_STREQ(object->GetQueue()->GetQueueName(), "PumpMsgQueue");
  EXPECT_EQ(object->GetQueue()->GetParameter(), 4);
  EXPECT_EQ(object->GetQueue()->GetCapacity(), 10);
  EXPECT_EQ(object->GetThread(), nullptr);

  ASSERT_EQ(object->DoPreStart(), KTX_RC_OK);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_ePreStarted);
  KTX_Thread *thread = object->GetThread();
  ASSERT_NE(thread, nullptr);
  EXPECT_STREQ(thread->GetThreadName(), "Pump");
  EXPECT_EQ(thread->GetPriority(), 5);
  EXPECT_EQ(thread->GetStackSize(), 0x4000);
  EXPECT_FALSE(thread->IsRunning());

  ASSERT_EQ(object->DoStart(), KTX_RC_OK);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStarted);
  ASSERT_TRUE(WaitFor([&] { return object->GetHeartbeat() > 3; }));
  EXPECT_EQ(object->c_poSeenThread.load(), thread);

  ASSERT_EQ(object->DoPreStop(), KTX_RC_OK);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStopping);
  ASSERT_EQ(object->DoStop(), KTX_RC_OK);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStopped);
  EXPECT_TRUE(object->IsBodyFinished());
  EXPECT_FALSE(thread->IsRunning());
  const int32_t heartbeat = object->GetHeartbeat();

  const int32_t queuesAlive = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_MESSAGE_QUEUE).i32Current;
  const int32_t threadsAlive = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_THREAD).i32Current;
  EXPECT_EQ(object->DoDestroy(), KTX_RC_OK);
  EXPECT_TRUE(c_bDestroyed.load());
  EXPECT_EQ(KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_MESSAGE_QUEUE).i32Current, queuesAlive - 1);
  EXPECT_EQ(KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_THREAD).i32Current, threadsAlive - 1);
  EXPECT_GT(heartbeat, 3);

  const std::vector<std::string> expected = {"OnPreStart", "OnStart", "OnPreStop", "OnStop", "OnDestroy"};
  EXPECT_EQ(c_oCalls, expected);
  EXPECT_FALSE(LogContains("*ASSERT*"));
}

TEST_F(ActiveObjectTest, StepsOutOfOrderDoNothingHarmful) {
  ProbeActive *object = Make(nullptr);
  EXPECT_STREQ(object->GetQueue()->GetQueueName(), "KTX_ListenQueue_00");
  // Start before pre-start: nothing happens.
  EXPECT_EQ(object->DoStart(), KTX_RC_OK);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eCreated);
  EXPECT_EQ(object->GetThread(), nullptr);
  EXPECT_TRUE(c_oCalls.empty());

  // Stopping an object whose thread never ran returns at once.
  ASSERT_EQ(object->DoPreStart(), KTX_RC_OK);
  KTX_Thread *thread = object->GetThread();
  ASSERT_EQ(object->DoPreStart(), KTX_RC_OK);
  EXPECT_EQ(object->GetThread(), thread);
  EXPECT_EQ(object->DoPreStop(), KTX_RC_OK);
  EXPECT_EQ(object->DoStop(), KTX_RC_OK);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStopped);
  EXPECT_EQ(object->DoStart(), KTX_RC_OK);
  EXPECT_FALSE(thread->IsRunning());
  EXPECT_EQ(object->DoDestroy(), KTX_RC_OK);
  EXPECT_TRUE(c_bDestroyed.load());
  EXPECT_FALSE(LogContains("*ASSERT*"));
}

TEST_F(ActiveObjectTest, DestroyingARunningObjectStopsItsBodyFirst) {
  // A failed start hook leaves the thread running in the pre-started state, which
  // the owner's exit path does not stop before destroying the object.
  ProbeActive *object = Make("Runaway");
  object->c_ai32Results[ProbeActive::eStart] = KTX_RC_OPERATION_FAILED;
  ASSERT_EQ(object->DoPreStart(), KTX_RC_OK);
  EXPECT_EQ(object->DoStart(), KTX_RC_OPERATION_FAILED);
  ASSERT_TRUE(WaitFor([&] { return object->GetHeartbeat() > 0; }));
  EXPECT_EQ(object->DoDestroy(), KTX_RC_OK);
  EXPECT_TRUE(c_bDestroyed.load());
  // The body saw the stop request; without it DoDestroy would not have returned.
  const std::vector<std::string> expected = {"OnPreStart", "OnStart", "OnDestroy"};
  EXPECT_EQ(c_oCalls, expected);
}

TEST_F(ActiveObjectTest, WithoutABodyPreStartIsRefused) {
  ProbeActive *object = Make("Idle");
  object->SetRunObject(nullptr);
  EXPECT_EQ(object->DoPreStart(), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eCreated);
  EXPECT_EQ(object->GetThread(), nullptr);
  EXPECT_TRUE(c_oCalls.empty());
  const std::vector<std::string> messages = ReadLogMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "{ ACT} No thread run method provided!");
  EXPECT_EQ(LogCount("*ASSERT*"), 1);
  object->DoDestroy();
}

int32_t FunctionBody(void *p_poUser, int32_t p_i32Parameter) {
  KTX_ActiveObject *object = static_cast<KTX_ActiveObject *>(p_poUser);
  while (!object->IsStopRequested()) {
    object->AdvanceHeartbeat();
    OsalSleep(1);
  }
  object->AdvanceHeartbeat();
  if (p_i32Parameter == 77) {
    object->SetBodyFinished();
  }
  return 0;
}

TEST_F(ActiveObjectTest, ARunFunctionIsPreferredOverTheRunObject) {
  ProbeActive *object = Make("ByFunction");
  object->SetRunFunction(&FunctionBody);
  object->SetUser(object);
  object->SetParameter(77);
  ASSERT_EQ(object->DoPreStart(), KTX_RC_OK);
  ASSERT_EQ(object->DoStart(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return object->GetHeartbeat() > 0; }));
  object->DoPreStop();
  object->DoStop();
  // The run object's body never ran.
  EXPECT_EQ(object->c_poSeenThread.load(), nullptr);
  EXPECT_EQ(object->c_i32SeenParameter.load(), -1);
  object->DoDestroy();
}

TEST_F(ActiveObjectTest, HookFailuresAreLoggedAndReturnedWithoutUndoingAnything) {
  struct Case {
    ProbeActive::Hook eHook;
    const char *szStep;
  };
  const Case cases[] = {
      {ProbeActive::ePreStart, "DoPreStart()"}, {ProbeActive::eStart, "DoStart()"},
      {ProbeActive::ePreStop, "DoPreStop()"},   {ProbeActive::eStop, "DoStop()"},
      {ProbeActive::eDestroy, "DoDestroy()"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.szStep);
    UseFreshLogFile(std::string("hook_") + std::to_string(c.eHook));
    c_bDestroyed = false;
    ProbeActive *object = Make("Faulty");
    object->c_ai32Results[c.eHook] = KTX_RC_OPERATION_FAILED;

    int32_t rc = object->DoPreStart();
    if (c.eHook == ProbeActive::ePreStart) {
      EXPECT_EQ(rc, KTX_RC_OPERATION_FAILED);
      EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eCreated);
      // The thread exists all the same.
      EXPECT_NE(object->GetThread(), nullptr);
      // The owner's retry goes through once the hook agrees.
      object->c_ai32Results[c.eHook] = KTX_RC_OK;
      rc = object->DoPreStart();
    }
    ASSERT_EQ(rc, KTX_RC_OK);

    rc = object->DoStart();
    if (c.eHook == ProbeActive::eStart) {
      EXPECT_EQ(rc, KTX_RC_OPERATION_FAILED);
      EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_ePreStarted);
    } else {
      EXPECT_EQ(rc, KTX_RC_OK);
      EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStarted);
    }
    // The thread runs even when the start hook failed.
    ASSERT_TRUE(WaitFor([&] { return object->GetHeartbeat() > 0; }));

    EXPECT_EQ(object->DoPreStop(), c.eHook == ProbeActive::ePreStop ? KTX_RC_OPERATION_FAILED : KTX_RC_OK);
    EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStopping);
    EXPECT_EQ(object->DoStop(), c.eHook == ProbeActive::eStop ? KTX_RC_OPERATION_FAILED : KTX_RC_OK);
    EXPECT_EQ(object->GetState(), KTX_ActiveObject::c_eStopped);
    EXPECT_EQ(object->DoDestroy(), c.eHook == ProbeActive::eDestroy ? KTX_RC_OPERATION_FAILED : KTX_RC_OK);
    EXPECT_TRUE(c_bDestroyed.load());

    EXPECT_EQ(LogCount("*ASSERT*"), 1);
    EXPECT_EQ(LogCount(std::string("Error 203: \"") + c.szStep + "\""), 1);
  }
}

// The stand-in for the reactor's module: builds a probe of the reactor type.
std::vector<std::string> g_oFactoryCalls;
std::atomic<bool> g_bFactoryDestroyed{false};
int32_t g_i32CreateResult = KTX_RC_OK;
int32_t g_i32Built = 0;

KTX_ActiveObject *BuildProbeReactor() {
  ++g_i32Built;
  ProbeActive *object =
      new ProbeActive(KTX_BASE_CLASS_MESSAGE_REACTOR, "MessageReactor", g_oFactoryCalls, g_bFactoryDestroyed);
  object->SetRunObject(nullptr);
  object->c_ai32Results[ProbeActive::eCreate] = g_i32CreateResult;
  return object;
}

KTX_ActiveObject *BuildNothing() { return nullptr; }

TEST_F(ActiveObjectTest, BuilderRefusesEveryTypeButTheReactor) {
  KTX_ActiveObjectBuilder *builder = GetActiveObjectBuilder();
  ASSERT_NE(builder, nullptr);
  EXPECT_EQ(GetActiveObjectBuilder(), builder);
  EXPECT_EQ(KTX_ActiveObjectBuilderSupervisor::RegisterFactory(12, &BuildProbeReactor), KTX_RC_INVALID_PARAMETER);

  EXPECT_EQ(builder->Create(12), nullptr);
  // Until the reactor's module registers its factory, the reactor cannot be built either.
  EXPECT_EQ(builder->Create(KTX_BASE_CLASS_MESSAGE_REACTOR), nullptr);
  ASSERT_EQ(KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, &BuildNothing),
            KTX_RC_OK);
  EXPECT_EQ(builder->Create(KTX_BASE_CLASS_MESSAGE_REACTOR), nullptr);
  EXPECT_EQ(builder->CreateSingleton(12), nullptr);

  const std::vector<std::string> expected = {
      "{ ACT} KTX_ActiveObject Error 0 -- Create failed on object type 12",
      "{ ACT} KTX_ActiveObject Error 0 -- Create failed on object type 37",
      "{ ACT} KTX_ActiveObject Error 0 -- Create failed on object type 37",
      "{ ACT} KTX_ActiveObject Error 200 -- CreateSingleton failed on object type 12",
  };
  EXPECT_EQ(ReadLogMessages(), expected);
  EXPECT_EQ(LogCount("*ASSERT*"), 4);
}

TEST_F(ActiveObjectTest, BuiltReactorIsItsOwnBodyAndUser) {
  g_i32CreateResult = KTX_RC_OK;
  ASSERT_EQ(KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, &BuildProbeReactor),
            KTX_RC_OK);
  ProbeActive *reactor = static_cast<ProbeActive *>(GetActiveObjectBuilder()->Create(KTX_BASE_CLASS_MESSAGE_REACTOR));
  ASSERT_NE(reactor, nullptr);
  EXPECT_EQ(reactor->GetClassType(), KTX_BASE_CLASS_MESSAGE_REACTOR);
  EXPECT_STREQ(reactor->GetQueue()->GetQueueName(), "MessageReactorMsgQueue");
  ASSERT_EQ(reactor->DoPreStart(), KTX_RC_OK);
  ASSERT_EQ(reactor->DoStart(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return reactor->GetHeartbeat() > 0; }));
  EXPECT_EQ(reactor->c_poSeenUser.load(), reactor);
  EXPECT_EQ(reactor->c_i32SeenParameter.load(), 0);
  reactor->DoPreStop();
  reactor->DoStop();
  reactor->DoDestroy();
  EXPECT_FALSE(LogContains("*ASSERT*"));
}

TEST_F(ActiveObjectTest, FailedCreateHookDeletesTheNewObject) {
  g_i32CreateResult = KTX_RC_TIME_OUT;
  g_bFactoryDestroyed = false;
  ASSERT_EQ(KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, &BuildProbeReactor),
            KTX_RC_OK);
  EXPECT_EQ(GetActiveObjectBuilder()->Create(KTX_BASE_CLASS_MESSAGE_REACTOR), nullptr);
  EXPECT_TRUE(g_bFactoryDestroyed.load());
  const std::vector<std::string> expected = {"{ ACT} KTX_ActiveObject Error 203 -- DoCreate failed on object type 37"};
  EXPECT_EQ(ReadLogMessages(), expected);
  g_i32CreateResult = KTX_RC_OK;
}

TEST_F(ActiveObjectTest, ReactorSingletonIsRebuiltAfterItsDestruction) {
  g_i32CreateResult = KTX_RC_OK;
  g_i32Built = 0;
  ASSERT_EQ(KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, &BuildProbeReactor),
            KTX_RC_OK);
  KTX_ActiveObject *first = GetActiveObjectBuilder()->CreateSingleton(KTX_BASE_CLASS_MESSAGE_REACTOR);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetActiveObjectBuilder()->CreateSingleton(KTX_BASE_CLASS_MESSAGE_REACTOR), first);
  EXPECT_EQ(GetMessageReactor(), first);
  EXPECT_EQ(g_i32Built, 1);

  // The builder goes at exit; the reactor it made and the registration stay.
  DeleteActiveObjectBuilder();
  EXPECT_EQ(GetMessageReactor(), first);

  first->DoDestroy();
  KTX_ActiveObject *second = GetMessageReactor();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(g_i32Built, 2);
  EXPECT_EQ(GetActiveObjectBuilder()->CreateSingleton(KTX_BASE_CLASS_MESSAGE_REACTOR), second);
  second->DoDestroy();

  // Without a factory the singleton cannot be had.
  KTX_ActiveObjectBuilderSupervisor::RegisterFactory(KTX_BASE_CLASS_MESSAGE_REACTOR, nullptr);
  EXPECT_EQ(GetMessageReactor(), nullptr);
  EXPECT_EQ(GetActiveObjectBuilder()->CreateSingleton(KTX_BASE_CLASS_MESSAGE_REACTOR), nullptr);
  EXPECT_EQ(LogCount("Create failed on object type 37"), 2);
  EXPECT_EQ(LogCount("{ ACT} KTX_ActiveObject Error 200 -- CreateSingleton failed on object type 37"), 1);
}

} // namespace
