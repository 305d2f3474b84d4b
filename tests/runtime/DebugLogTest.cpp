#include "runtime/DebugLog.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

namespace {

std::string ReadRaw(const std::string &name) {
  std::ifstream in(name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(DebugLog, LineLayoutWithSequenceLevelDateTimeAndCrLf) {
  const std::string file = UseFreshLogFile("layout");
  KTX_LOG(KTX_INFO, "hello %d", 42);
  KTX_LOG(KTX_DBG1, "never written");
  KTX_LOG(KTX_ASSERT, "second");
  const std::string raw = ReadRaw(file);
  std::regex layout(R"(^( +\d+): {5}INFO \d{4} \d\d \d\d -- \d\d:\d\d:\d\d -- hello 42\r\n)"
                    R"(( +\d+): \*ASSERT\* \d{4} \d\d \d\d -- \d\d:\d\d:\d\d -- second\r\n$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(raw, m, layout)) << raw;
  // Disabled levels do not take a sequence number.
  EXPECT_EQ(std::stoi(m[2].str()), std::stoi(m[1].str()) + 1);
  EXPECT_EQ(m[1].str().size(), 4u);
}

TEST(DebugLog, NamingAFileRecreatesItAtItsFirstLine) {
  const std::string file = UseFreshLogFile("recreate");
  KTX_LOG(KTX_INFO, "old run");
  UseFreshLogFile("recreate");
  KTX_LOG(KTX_INFO, "new run");
  auto lines = ReadLogMessages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "new run");
}

TEST(DebugLog, LongMessageIsCutTo511Characters) {
  const std::string file = UseFreshLogFile("long");
  std::string big(600, 'x');
  KTX_LOG(KTX_WARNING, "%s", big.c_str());
  auto lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 1u);
  const size_t colon = lines[0].find(": ");
  EXPECT_EQ(lines[0].size() - (colon + 2), 511u);
  EXPECT_NE(lines[0].find(" WARNING "), std::string::npos);
}

TEST(DebugLog, LongFormatIsCutWithoutDanglingConversion) {
  UseFreshLogFile("longfmt");
  // The level label and prefix take 37 characters; this puts a lone '%' at the cut.
  std::string fmt(255 - 37 - 1, 'y');
  fmt += "%d";
  DebugPrint(KTX_DebugLocation{"x", 1, 0}, KTX_INFO, fmt.c_str(), 7);
  auto lines = ReadLogMessages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find('%'), std::string::npos);
}

TEST(DebugLog, AssertionCheckLogsTheConditionText) {
  UseFreshLogFile("check");
  const char *p_poSerializer = nullptr;
  KTX_CHECK(p_poSerializer);
  KTX_CHECK(1 + 1 == 2);
  auto lines = ReadLogMessages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Assertion Failed: \"p_poSerializer\"");
}

TEST(DebugLog, DefaultFileNameAndDroppingAfterDelete) {
  SetLogFileName(nullptr);
  EXPECT_STREQ(GetLogFileName(), "_DebugLog.txt");
  KTX_LOG(KTX_INFO, "to default");
  EXPECT_NE(ReadRaw("_DebugLog.txt").find("to default"), std::string::npos);

  // After the log is deleted at exit, lines are dropped without touching it.
  GetDebugLog()->Delete();
  EXPECT_EQ(GetDebugLog(), nullptr);
  KTX_LOG(KTX_ERROR, "after exit");
  EXPECT_EQ(ReadRaw("_DebugLog.txt").find("after exit"), std::string::npos);
  // Naming a file again opens a new log.
  UseFreshLogFile("reopened");
  KTX_LOG(KTX_INFO, "again");
  EXPECT_TRUE(LogContains("again"));
}

} // namespace
