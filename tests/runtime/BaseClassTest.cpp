#include "runtime/BaseClass.h"
#include "runtime/DebugLog.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A framework object that reports its own destruction.
class Probe : public KTX_BaseClass {
public:
  explicit Probe(int32_t type, bool *destroyed = nullptr) : KTX_BaseClass(type), c_pbDestroyed(destroyed) {}
  ~Probe() override {
    if (c_pbDestroyed != nullptr) *c_pbDestroyed = true;
  }

private:
  bool *c_pbDestroyed;
};

TEST(BaseClass, InstanceNamesCountPerClassType) {
  // Types nothing else in this program creates, so the numbering is ours.
  Probe a(KTX_BASE_CLASS_VIDEO_RESIZE), b(KTX_BASE_CLASS_VIDEO_RESIZE), c(KTX_BASE_CLASS_VIDEO_RESIZE);
  Probe zone(KTX_CLASS_TYPE_TIME_ZONE);
  for (Probe *p : {&a, &b, &c, &zone}) p->SetStackVariable();
  EXPECT_STREQ(a.GetName(), "VIDEO_RESIZE_1");
  EXPECT_STREQ(c.GetName(), "VIDEO_RESIZE_3");
  EXPECT_STREQ(zone.GetName(), "Unknown(58)_1");
  EXPECT_STREQ(KTX_BaseClass::GetClassName(76), "Unknown(76)");
  EXPECT_STREQ(KTX_BaseClass::GetClassName(200), "Unknown(77)");
}

TEST(BaseClass, LastHolderDestroysAfterDelete) {
  UseFreshLogFile("refcount");
  const auto before = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_CLOCK);
  bool destroyed = false;
  Probe *p = new Probe(KTX_BASE_CLASS_CLOCK, &destroyed);
  p->IncReferenceCount();
  p->IncReferenceCount();
  p->Delete();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(p->GetReferenceCount(), 2);
  p->DecReferenceCount();
  EXPECT_FALSE(destroyed);
  p->DecReferenceCount();
  EXPECT_TRUE(destroyed);
  const auto after = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_CLOCK);
  EXPECT_EQ(after.i32Current, before.i32Current);
  EXPECT_EQ(after.i32New, before.i32New + 1);
  EXPECT_FALSE(LogContains("ASSERT"));
}

TEST(BaseClass, MisuseIsLoggedAndNeverFreesALiveObject) {
  UseFreshLogFile("misuse");
  bool destroyed = false;
  Probe *p = new Probe(KTX_BASE_CLASS_CLOCK_RTC, &destroyed);
  const std::string name = p->GetName();

  // Released more often than held, without Delete: logged, stays alive.
  p->DecReferenceCount();
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(LogContains(name + "::DecReferenceCount() called more than IncReferenceCount!"));

  // Stack variables refuse Delete and report reference operations.
  Probe local(KTX_BASE_CLASS_CLOCK_RTC);
  local.SetStackVariable();
  local.Delete();
  local.IncReferenceCount();
  local.DecReferenceCount();
  const std::string lname = local.GetName();
  EXPECT_TRUE(LogContains(lname + "::Delete() called on a stack variable!"));
  EXPECT_TRUE(LogContains(lname + "::IncReferenceCount() not allowed on Stack Variables!"));
  EXPECT_TRUE(LogContains(lname + "::DecReferenceCount() not allowed on Stack Variables!"));

  // A second Delete is refused before it touches the count again.
  bool destroyed2 = false;
  Probe *q = new Probe(KTX_BASE_CLASS_CLOCK_RTC, &destroyed2);
  q->IncReferenceCount();
  q->Delete();
  q->Delete();
  EXPECT_FALSE(destroyed2);
  EXPECT_TRUE(LogContains(std::string(q->GetName()) + "::Delete() called more than once!"));
  q->DecReferenceCount();
  EXPECT_TRUE(destroyed2);

  // Deleting directly instead of through Delete() is reported by the destructor.
  bool destroyed3 = false;
  Probe *r = new Probe(KTX_BASE_CLASS_CLOCK_RTC, &destroyed3);
  delete r;
  EXPECT_TRUE(LogContains(": delete called rather than method Delete()"));
  EXPECT_TRUE(LogContains("{ BCL} Class 15 {"));

  p->Delete(); // the creator finally gives it up
  EXPECT_TRUE(destroyed);
}

TEST(BaseClass, LeakReportMarksLiveTypesAndListsAllWhenAsked) {
  UseFreshLogFile("report");
  Probe *leaked = new Probe(KTX_BASE_CLASS_WORLD_BUILDER);
  Probe *gone = new Probe(KTX_BASE_CLASS_UART);
  gone->Delete();

  KTX_BaseClass::ReportClasses(false);
  auto lines = ReadLogMessages();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.front(), "=============== Base Class =======================");
  EXPECT_EQ(lines[1], "Leaks        New       Peak    Current  ObjectName");
  EXPECT_EQ(lines.back(), "=============== Base Class =======================");
  EXPECT_TRUE(LogContains("*ASSERT*"));
  EXPECT_TRUE(LogContains(" ***           1          1          1  WORLD_BUILDER"));
  EXPECT_FALSE(LogContains("  UART"));

  UseFreshLogFile("report_all");
  KTX_BaseClass::ReportClasses(true);
  EXPECT_TRUE(LogContains("    INFO ")) ;
  EXPECT_TRUE(LogContains("               1          1          0  UART"));
  leaked->Delete();
}

TEST(BaseClass, ConcurrentCreationKeepsCountsExact) {
  const auto before = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_VIDEO_PROCESS);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 500; ++i) {
        Probe *p = new Probe(KTX_BASE_CLASS_VIDEO_PROCESS);
        p->IncReferenceCount();
        p->Delete();
        p->DecReferenceCount();
      }
    });
  }
  for (auto &t : threads) t.join();
  const auto after = KTX_BaseClass::GetClassCounts(KTX_BASE_CLASS_VIDEO_PROCESS);
  EXPECT_EQ(after.i32New - before.i32New, 2000);
  EXPECT_EQ(after.i32Current, before.i32Current);
  EXPECT_LE(after.i32Peak, 4 + before.i32Peak);
}

} // namespace
