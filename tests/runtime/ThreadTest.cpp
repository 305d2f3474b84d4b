#include "runtime/OsalSemaphore.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/Thread.h"
#include "runtime/ThreadBaseClass.h"
#include "support/LogReader.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// What a thread body saw of itself.
struct Probe {
  std::atomic<int32_t> i32Runs{0};
  std::atomic<void *> poUser{nullptr};
  std::atomic<int32_t> i32Parameter{-1};
  std::atomic<KTX_Thread *> poCurrent{nullptr};
  std::atomic<uint32_t> u32Id{0};
  std::string strName;
  OsalSemaphore oGate{true};  // the body waits here when gated
  std::atomic<bool> bGated{false};
  std::atomic<bool> bInBody{false};
};

int32_t ProbeBody(void *p_poUser, int32_t p_i32Parameter) {
  Probe &probe = *static_cast<Probe *>(p_poUser);
  probe.poUser = p_poUser;
  probe.i32Parameter = p_i32Parameter;
  probe.poCurrent = GetCurrentThread();
  probe.u32Id = OsalGetCurrentThreadId();
  probe.strName = GetCurrentThreadName();
  probe.bInBody = true;
  if (probe.bGated) {
    probe.oGate.Wait(10000);
  }
  probe.bInBody = false;
  return 100 + ++probe.i32Runs;
}

class ProbeRunner : public KTX_ThreadBaseClass {
public:
  ProbeRunner() : KTX_ThreadBaseClass(KTX_BASE_CLASS_TEST_DIAGNOSTICS) {}
  int32_t Run(void *p_poUser, int32_t p_i32Parameter) override { return ProbeBody(p_poUser, p_i32Parameter); }
};

std::string ThreadLine(const char *p_szName, uint32_t p_u32Id, int32_t p_i32Priority, const char *p_szWhat) {
  char line[160];
  std::snprintf(line, sizeof line, "{ THD} %15s {id:x%08x pri:%2d} %s", p_szName, p_u32Id, p_i32Priority, p_szWhat);
  return line;
}

class ThreadTest : public ::testing::Test {
protected:
  void SetUp() override { UseFreshLogFile(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
};

TEST_F(ThreadTest, RunFunctionRunsOnItsOwnNamedThreadAndLogsStartAndStop) {
  Probe probe;
  KTX_Thread *thread = new KTX_Thread(&ProbeBody, "ProbeWorker", 7, 0x8000, &probe, 42);
  EXPECT_FALSE(thread->IsRunning());
  EXPECT_EQ(thread->GetPriority(), 7);
  EXPECT_EQ(thread->GetStackSize(), 0x8000);

  ASSERT_EQ(thread->Start(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return probe.i32Runs == 1 && !thread->IsRunning(); }));
  EXPECT_EQ(probe.poUser.load(), &probe);
  EXPECT_EQ(probe.i32Parameter.load(), 42);
  EXPECT_EQ(probe.poCurrent.load(), thread);
  EXPECT_EQ(probe.strName, "ProbeWorker");
  EXPECT_NE(probe.u32Id.load(), OsalGetCurrentThreadId());
  EXPECT_EQ(thread->GetThreadId(), probe.u32Id.load());
  EXPECT_EQ(thread->GetExitCode(), 101);

  // The test's own thread has no KTX_Thread.
  EXPECT_EQ(GetCurrentThread(), nullptr);
  EXPECT_STREQ(GetCurrentThreadName(), "Unknown Thread");

  ASSERT_TRUE(WaitFor([&] { return ReadLogMessages().size() == 2; }));
  const std::vector<std::string> messages = ReadLogMessages();
  EXPECT_EQ(messages[0], ThreadLine("ProbeWorker", probe.u32Id, 7, "started"));
  EXPECT_EQ(messages[1], ThreadLine("ProbeWorker", probe.u32Id, 7, "stopped"));
  EXPECT_EQ(LogCount("    INFO "), 2);
  thread->Delete();
}

TEST_F(ThreadTest, RunObjectIsCalledWithUserAndParameterAndCanRunAgain) {
  Probe probe;
  ProbeRunner runner;
  runner.SetStackVariable();
  KTX_Thread thread(&runner, nullptr, 3, 0, &probe, 9);
  thread.SetStackVariable();

  for (int32_t run = 1; run <= 3; ++run) {
    ASSERT_EQ(thread.Start(), KTX_RC_OK);
    ASSERT_TRUE(WaitFor([&] { return probe.i32Runs == run && !thread.IsRunning(); })) << run;
    EXPECT_EQ(probe.i32Parameter.load(), 9);
    EXPECT_EQ(probe.poCurrent.load(), &thread);
    EXPECT_EQ(thread.GetExitCode(), 100 + run);
  }
  ASSERT_TRUE(WaitFor([&] { return LogCount("} stopped") == 3; }));
  EXPECT_EQ(LogCount("} started"), 3);
}

TEST_F(ThreadTest, UnnamedThreadsAreNumberedByConstructionCountingNamedOnes) {
  const int32_t before = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_THREAD).i32New;
  Probe probe;
  KTX_Thread *first = new KTX_Thread(&ProbeBody, nullptr, 0, 0, &probe, 0);
  KTX_Thread *second = new KTX_Thread(&ProbeBody, "Named", 0, 0, &probe, 0);
  KTX_Thread *third = new KTX_Thread(&ProbeBody, nullptr, 0, 0, &probe, 0);
  char expected[32];
  std::snprintf(expected, sizeof expected, "KTX_Thread_%02d", before + 1);
  EXPECT_STREQ(first->GetThreadName(), expected);
  EXPECT_STREQ(second->GetThreadName(), "Named");
  std::snprintf(expected, sizeof expected, "KTX_Thread_%02d", before + 3);
  EXPECT_STREQ(third->GetThreadName(), expected);
  if (before == 0) {
    // Alone in its process, this is the third thread of the process.
    EXPECT_STREQ(third->GetThreadName(), "KTX_Thread_03");
  }
  first->Delete();
  second->Delete();
  third->Delete();
}

TEST_F(ThreadTest, StartingARunningThreadOnlyLogs) {
  Probe probe;
  probe.bGated = true;
  KTX_Thread *thread = new KTX_Thread(&ProbeBody, "Gated", 0, 0, &probe, 0);
  ASSERT_EQ(thread->Start(), KTX_RC_OK);
  EXPECT_TRUE(thread->IsRunning());
  EXPECT_EQ(thread->Start(), KTX_RC_INVALID_CALL);
  EXPECT_EQ(LogCount("*ASSERT* "), 1);
  EXPECT_TRUE(LogContains("KTX_Thread::Run() -- Error Thread is already running"));

  probe.oGate.Signal();
  ASSERT_TRUE(WaitFor([&] { return !thread->IsRunning(); }));
  EXPECT_EQ(probe.i32Runs.load(), 1);
  thread->Delete();
}

TEST_F(ThreadTest, SuspendedThreadNeverReportsAgainEvenWhenItsObjectIsGone) {
  Probe probe;
  probe.bGated = true;
  KTX_Thread *thread = new KTX_Thread(&ProbeBody, "Frozen", 0, 0, &probe, 0);
  ASSERT_EQ(thread->Start(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return probe.bInBody.load(); }));

  thread->Suspend();
  EXPECT_FALSE(thread->IsRunning());
  EXPECT_TRUE(thread->IsSuspended());
  // The owner deletes the thread object while the body is still inside; the body
  // then returns without touching it (the sanitizers watch this).
  thread->Delete();
  probe.oGate.Signal();
  ASSERT_TRUE(WaitFor([&] { return probe.i32Runs == 1; }));

  EXPECT_EQ(LogCount("Frozen {id"), 1);
  EXPECT_FALSE(LogContains("} stopped"));
}

TEST_F(ThreadTest, SuspendOfAStoppedThreadChangesNothingAndRestartWorks) {
  Probe probe;
  KTX_Thread *thread = new KTX_Thread(&ProbeBody, "Once", 0, 0, &probe, 0);
  thread->Suspend();
  EXPECT_FALSE(thread->IsSuspended());
  ASSERT_EQ(thread->Start(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return probe.i32Runs == 1 && !thread->IsRunning(); }));
  thread->Suspend();
  EXPECT_FALSE(thread->IsSuspended());

  // A suspended thread can be started afresh; the frozen run stays silent.
  probe.bGated = true;
  ASSERT_EQ(thread->Start(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return probe.bInBody.load(); }));
  thread->Suspend();
  probe.bGated = false;
  ASSERT_EQ(thread->Start(), KTX_RC_OK);
  probe.oGate.Signal();
  ASSERT_TRUE(WaitFor([&] { return probe.i32Runs == 3 && !thread->IsRunning(); }));
  ASSERT_TRUE(WaitFor([&] { return LogCount("} stopped") == 2; }));
  EXPECT_EQ(LogCount("} started"), 3);
  thread->Delete();
}

TEST_F(ThreadTest, ThreadsBeyondTheTableAreUnknownToGetCurrentThread) {
  std::vector<KTX_Thread *> threads;
  Probe probes[KTX_Thread::c_i32TableSize + 2];
  for (int32_t i = 0; i < KTX_Thread::c_i32TableSize + 1; ++i) {
    threads.push_back(new KTX_Thread(&ProbeBody, nullptr, 0, 0, &probes[i], i));
  }
  auto currentSeenBy = [&](int32_t p_i32Index) {
    Probe &probe = probes[p_i32Index];
    const int32_t runs = probe.i32Runs;
    EXPECT_EQ(threads[p_i32Index]->Start(), KTX_RC_OK);
    EXPECT_TRUE(WaitFor([&] { return probe.i32Runs == runs + 1 && !threads[p_i32Index]->IsRunning(); }));
    return probe.poCurrent.load();
  };
  EXPECT_EQ(currentSeenBy(0), threads[0]);
  EXPECT_EQ(currentSeenBy(KTX_Thread::c_i32TableSize - 1), threads[KTX_Thread::c_i32TableSize - 1]);
  EXPECT_EQ(currentSeenBy(KTX_Thread::c_i32TableSize), nullptr);

  // Removing one entry moves the last into its place and makes room for a newcomer.
  threads[5]->Delete();
  threads[5] = new KTX_Thread(&ProbeBody, nullptr, 0, 0, &probes[KTX_Thread::c_i32TableSize + 1], 0);
  EXPECT_EQ(currentSeenBy(KTX_Thread::c_i32TableSize - 1), threads[KTX_Thread::c_i32TableSize - 1]);
  Probe &newcomer = probes[KTX_Thread::c_i32TableSize + 1];
  ASSERT_EQ(threads[5]->Start(), KTX_RC_OK);
  ASSERT_TRUE(WaitFor([&] { return newcomer.i32Runs == 1 && !threads[5]->IsRunning(); }));
  EXPECT_EQ(newcomer.poCurrent.load(), threads[5]);
  for (KTX_Thread *thread : threads) {
    thread->Delete();
  }
}

} // namespace
