#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"
#include "runtime/StringUnicode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint16_t> Units(const KTX_StringUnicode &p_roText) {
  return std::vector<uint16_t>(p_roText.GetText(), p_roText.GetText() + p_roText.GetLength());
}

std::vector<uint16_t> Units(std::initializer_list<uint16_t> p_oUnits) { return std::vector<uint16_t>(p_oUnits); }

// Length, terminator and storage invariants that every operation keeps.
void ExpectWellFormed(const KTX_StringUnicode &p_roText) {
  EXPECT_LE(p_roText.GetLength(), p_roText.GetCapacity());
  EXPECT_EQ(p_roText.GetText()[p_roText.GetLength()], 0);
  EXPECT_EQ(p_roText.GetByteLength(), 2 * p_roText.GetLength());
}

class StringUnicodeTest : public ::testing::Test {
protected:
  void SetUp() override {
    UseFreshLogFile(::testing::UnitTest::GetInstance()->current_test_info()->name());
    c_oText.SetStackVariable();
  }
  KTX_StringUnicode c_oText;
};

TEST_F(StringUnicodeTest, NarrowTextIsWidenedBySignExtension) {
  c_oText.AssignNarrow("A\xE9z\x7F\x80");
  EXPECT_EQ(Units(c_oText), Units({'A', 0xFFE9, 'z', 0x7F, 0xFF80}));
  ExpectWellFormed(c_oText);

  c_oText.AppendNarrowChar('\xFF').AppendChar(0x263A).AppendNarrowChar('!');
  EXPECT_EQ(Units(c_oText), Units({'A', 0xFFE9, 'z', 0x7F, 0xFF80, 0xFFFF, 0x263A, '!'}));

  EXPECT_EQ(c_oText.AppendNarrow("abcdef", 3), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetLength(), 11);
  EXPECT_EQ(c_oText.GetText()[10], 'c');
  // The copy stops at a zero byte before the count.
  EXPECT_EQ(c_oText.AppendNarrow("xy\0zz", 5), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetLength(), 13);
  EXPECT_EQ(c_oText.AppendNarrow(nullptr, 5), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetLength(), 13);
  ExpectWellFormed(c_oText);

  c_oText.AssignNarrow(nullptr);
  EXPECT_EQ(c_oText.GetLength(), 0);
}

TEST_F(StringUnicodeTest, WideAssignmentStopsAtZeroOrTheByteLimit) {
  const uint16_t units[] = {0x48, 0x20AC, 0xD83D, 0xDE00, 0, 0x41};
  c_oText.AssignWide(units);
  EXPECT_EQ(Units(c_oText), Units({0x48, 0x20AC, 0xD83D, 0xDE00}));

  struct Case {
    int32_t byteCount;
    int32_t length;
  };
  const Case cases[] = {{0, 0}, {1, 0}, {2, 1}, {5, 2}, {8, 4}, {12, 4}, {-4, 0}};
  for (const Case &c : cases) {
    EXPECT_EQ(c_oText.AssignWideLimited(units, c.byteCount), KTX_RC_OK);
    EXPECT_EQ(c_oText.GetLength(), c.length) << c.byteCount;
    ExpectWellFormed(c_oText);
  }
  c_oText.AssignWide(nullptr);
  EXPECT_EQ(c_oText.GetLength(), 0);
}

TEST_F(StringUnicodeTest, StorageGrowsToExactlyWhatIsAskedAndNeverShrinks) {
  EXPECT_EQ(c_oText.GetCapacity(), 127);
  const std::string fits(127, 'a');
  c_oText.AssignNarrow(fits.c_str());
  EXPECT_EQ(c_oText.GetCapacity(), 127);

  c_oText.AppendNarrowChar('b');
  EXPECT_EQ(c_oText.GetCapacity(), 128);
  EXPECT_EQ(c_oText.GetLength(), 128);
  EXPECT_EQ(c_oText.GetText()[0], 'a');
  EXPECT_EQ(c_oText.GetText()[127], 'b');

  EXPECT_EQ(c_oText.SetLength(300), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetCapacity(), 300);
  // The text is kept and the new units are zero.
  EXPECT_EQ(c_oText.GetText()[127], 'b');
  EXPECT_EQ(c_oText.GetText()[128], 0);
  EXPECT_EQ(c_oText.GetText()[299], 0);

  EXPECT_EQ(c_oText.SetLength(5), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetCapacity(), 300);
  ExpectWellFormed(c_oText);
  EXPECT_EQ(c_oText.Clear(), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetLength(), 0);
  EXPECT_EQ(c_oText.GetCapacity(), 300);
  EXPECT_EQ(c_oText.GetText()[4], 0);
}

TEST_F(StringUnicodeTest, OversizeRequestsAreRefusedAndEmptyTheString) {
  c_oText.AssignNarrow("keep");
  EXPECT_EQ(c_oText.SetLength(1000000), KTX_RC_OK);
  EXPECT_EQ(c_oText.GetLength(), 1000000);

  for (int32_t bad : {1000001, -1}) {
    c_oText.AssignNarrow("keep");
    EXPECT_EQ(c_oText.SetLength(bad), KTX_RC_INVALID_PARAMETER);
    EXPECT_EQ(c_oText.GetLength(), 0);
    ExpectWellFormed(c_oText);
  }
  // One unit beyond the limit fails the append and leaves the string empty.
  EXPECT_EQ(c_oText.SetLength(1000000), KTX_RC_OK);
  EXPECT_EQ(c_oText.AppendNarrow("x", 1), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(c_oText.GetLength(), 0);
  EXPECT_EQ(c_oText.SetLength(1000000), KTX_RC_OK);
  c_oText.AppendChar('x');
  EXPECT_EQ(c_oText.GetLength(), 0);
  ExpectWellFormed(c_oText);

  EXPECT_EQ(LogCount("*ASSERT*"), 4);
  for (const std::string &m : ReadLogMessages()) {
    EXPECT_EQ(m, "KTX_StringAscii::MakeRoomInBuffer -- Invalid ByteCount");
  }
}

TEST_F(StringUnicodeTest, ExposedBuffersForTheCallerToFill) {
  EXPECT_EQ(c_oText.ExposeBufferForWrite(7), nullptr);

  uint16_t *room = c_oText.ExposeBufferForWrite(8);
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(c_oText.GetLength(), 4);
  for (uint16_t i = 0; i < 4; ++i) {
    room[i] = static_cast<uint16_t>('0' + i);
  }
  EXPECT_EQ(Units(c_oText), Units({'0', '1', '2', '3'}));
  ExpectWellFormed(c_oText);

  uint16_t *big = c_oText.ExposeBufferForStringWrite(1000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(c_oText.GetLength(), 1000);
  big[999] = 0x1234;
  ExpectWellFormed(c_oText);

  struct Case {
    int32_t units;
    const char *level;
    const char *message;
  };
  const Case refused[] = {
      {0, " WARNING", "KTX_StringUnicode::ExposeBufferForStringWrite -- Zero ByteCount"},
      {1000001, "*ASSERT*", "KTX_StringUnicode::ExposeBufferForStringWrite -- Invalid ByteCount"},
      {-2, "*ASSERT*", "KTX_StringUnicode::ExposeBufferForStringWrite -- Invalid ByteCount"},
  };
  for (const Case &c : refused) {
    c_oText.AssignNarrow("abc");
    EXPECT_EQ(c_oText.ExposeBufferForStringWrite(c.units), nullptr);
    EXPECT_EQ(c_oText.GetLength(), 0);
  }

  const std::vector<std::string> lines = ReadLogLines();
  const std::vector<std::string> messages = ReadLogMessages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_NE(lines[0].find("*ASSERT*"), std::string::npos);
  EXPECT_EQ(messages[0], "KTX_StringUnicode::ExposeBufferForWrite -- Invalid ByteCount");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NE(lines[i + 1].find(refused[i].level), std::string::npos) << lines[i + 1];
    EXPECT_EQ(messages[i + 1], refused[i].message);
  }
}

TEST_F(StringUnicodeTest, NarrowStringTakesTheWideTextAsUtf8) {
  const uint16_t units[] = {'N', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0xDC00, 0};
  c_oText.AssignWide(units);
  KTX_StringAscii narrow("x");
  narrow.SetStackVariable();
  EXPECT_EQ(narrow.AppendUnicode(c_oText), KTX_RC_OK);
  // A lone low surrogate has no form of its own and becomes "?".
  EXPECT_STREQ(narrow.GetText(), "xN\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80?");
  c_oText.Clear();
  EXPECT_EQ(narrow.AppendUnicode(c_oText), KTX_RC_OK);
  EXPECT_EQ(narrow.GetLength(), 12);
}

TEST_F(StringUnicodeTest, HeapStringIsReleasedThroughDelete) {
  KTX_StringUnicode *text = new KTX_StringUnicode();
  EXPECT_EQ(text->GetClassType(), 55);
  text->AssignNarrow(std::string(5000, 'q').c_str());
  EXPECT_EQ(text->GetLength(), 5000);
  text->Delete();
  EXPECT_TRUE(ReadLogLines().empty());
}

} // namespace
