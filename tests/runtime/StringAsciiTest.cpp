#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Str : KTX_StringAscii {
  Str() { SetStackVariable(); }
  explicit Str(const char *t) : KTX_StringAscii(t) { SetStackVariable(); }
  std::string s() const { return std::string(GetText(), static_cast<size_t>(GetLength())); }
};

TEST(StringAscii, NumberRendering) {
  struct Case {
    const char *what;
    void (*fn)(KTX_StringAscii &);
    const char *expected;
  } cases[] = {
      {"hex16 pad", [](KTX_StringAscii &s) { s.AppendHex16(0x00AB, true); }, "00AB"},
      {"hex16", [](KTX_StringAscii &s) { s.AppendHex16(0x00AB, false); }, "AB"},
      {"hex8 zero", [](KTX_StringAscii &s) { s.AppendHex8(0, false); }, "0"},
      {"hex8 masks", [](KTX_StringAscii &s) { s.AppendHex8(0x1FF, true); }, "FF"},
      {"hex32 pad", [](KTX_StringAscii &s) { s.AppendHex32(0xBEEF, true); }, "0000BEEF"},
      {"dec pad", [](KTX_StringAscii &s) { s.AppendDecimal(42, true); }, "0000000042"},
      {"dec max", [](KTX_StringAscii &s) { s.AppendDecimal(0xFFFFFFFFu, false); }, "4294967295"},
      {"hex bytes",
       [](KTX_StringAscii &s) {
         const uint8_t b[] = {0x00, 0x1F, 0xA0};
         s.AppendHexBytes(b, 3);
       },
       "001FA0"},
  };
  for (const Case &c : cases) {
    Str s("x");
    c.fn(s);
    EXPECT_EQ(s.s(), std::string("x") + c.expected) << c.what;
  }
  Str s;
  const uint8_t b[] = {1};
  EXPECT_EQ(s.AppendHexBytes(b, 0), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(s.GetLength(), 0);
}

TEST(StringAscii, Parsing) {
  struct IntCase {
    const char *text;
    int32_t value;
    int32_t cursor;
  } ints[] = {{"-123abc", -123, 4}, {"-", 0, 1}, {"12.5", 12, 2}, {"", 0, 0}, {"4294967297", 1, 10}};
  for (const IntCase &c : ints) {
    Str s(c.text);
    EXPECT_EQ(s.ParseInt(), c.value) << c.text;
    EXPECT_EQ(s.GetCursor(), c.cursor) << c.text;
  }
  struct HexCase {
    const char *text;
    uint32_t value;
  } hex[] = {{"1f", 31}, {"1G", 0}, {"123456789", 0x12345678}, {"", 0}, {"FFFFFFFF", 0xFFFFFFFF}};
  for (const HexCase &c : hex) {
    EXPECT_EQ(Str(c.text).ParseHex(), c.value) << c.text;
  }
  EXPECT_EQ(Str("007x").ParseUint(), 7u);
}

TEST(StringAscii, NextWordSplitsOnSeparatorAndBlanksKeepingLineEnds) {
  Str source("  alpha, beta\r\n");
  Str word;
  EXPECT_EQ(word.FirstWord(source, ','), KTX_RC_OK);
  EXPECT_EQ(word.s(), "alpha");
  word.NextWord(source, ',');
  EXPECT_EQ(word.s(), "beta\r\n");
  word.NextWord(source, ',');
  EXPECT_EQ(word.s(), "");
  word.NextWord(source, ',');
  EXPECT_EQ(word.s(), "") << "reading past the end stays empty";
}

TEST(StringAscii, GrowsToTheLimitThenRefusesAndEmpties) {
  UseFreshLogFile("limit");
  Str s;
  std::string chunk(1000, 'a');
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(s.Append(chunk.c_str()), KTX_RC_OK);
  }
  EXPECT_EQ(s.GetLength(), 100000);
  EXPECT_EQ(s.GetCapacity(), 100000) << "grows to exactly what is asked";
  EXPECT_EQ(s.AppendCharCode('b'), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(s.GetLength(), 0);
  EXPECT_EQ(s.GetText()[0], '\0');
  EXPECT_TRUE(LogContains("KTX_StringAscii::MakeRoomInBuffer -- Invalid ByteCount"));
}

TEST(StringAscii, AssignCountedStopsAtZeroByteAndSelfAppendIsSafe) {
  Str s;
  EXPECT_EQ(s.AssignCounted("abc\0def", 7), KTX_RC_OK);
  EXPECT_EQ(s.s(), "abc");
  EXPECT_EQ(s.AssignCounted("abcdef", 4), KTX_RC_OK);
  EXPECT_EQ(s.s(), "abcd");
  std::string big(120, 'q');
  s.Assign(big.c_str());
  s.Append(s); // crosses from inline storage to the heap while reading itself
  EXPECT_EQ(s.s(), big + big);
}

TEST(StringAscii, WideTextBecomesUtf8) {
  const uint16_t units[] = {'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0xD800, 'z', 0};
  Str s;
  EXPECT_EQ(s.AppendWide(units, 100), KTX_RC_OK);
  EXPECT_EQ(s.s(), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80?z");
  Str t;
  t.AppendWide(units, 2);
  EXPECT_EQ(t.s(), "A\xC3\xA9");
}

} // namespace
