#include "runtime/Version.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The program's own version record.
KTX_Version ProgramVersion() { return KTX_Version(1, 9, 0, "b  ", KTX_DateTime(2017, 8, 10, 21, 9, 14)); }

int32_t ReadText(KTX_Version &p_roVersion, const std::string &p_strText) {
  return p_roVersion.FromText(p_strText.data(), static_cast<int32_t>(p_strText.size()));
}

TEST(Version, ProgramVersionDisplayAndPaddedForms) {
  const KTX_Version v = ProgramVersion();
  EXPECT_EQ(v.GetDisplay(), "1.9.0.b 2017 08 10 21:09:14");
  const std::string padded = v.GetText();
  EXPECT_EQ(padded, "1.9.0.b   2017 08 10 21:09:14        ");
  EXPECT_EQ(padded.size(), 37u);
  EXPECT_EQ(padded.substr(29), std::string(8, ' '));
}

TEST(Version, FormsForOtherRecords) {
  struct Case {
    KTX_Version version;
    const char *padded;
    const char *display;
  };
  const KTX_DateTime t(2013, 6, 4, 3, 0, 59);
  const char zeroLetters[3] = {0, 0, 0};
  const char middleLetter[3] = {' ', 'x', 0};
  const Case cases[] = {
      {KTX_Version(), "0.0.0.    0000 00 00 00:00:00        ", "0.0.0 0000 00 00 00:00:00"},
      {KTX_Version(12, 34, 567, "abc", t), "12.34.567.abc 2013 06 04 03:00:59    ",
       "12.34.567.abc 2013 06 04 03:00:59"},
      {KTX_Version(2, 0, 15, zeroLetters, t), "2.0.15.    2013 06 04 03:00:59       ", "2.0.15 2013 06 04 03:00:59"},
      {KTX_Version(2, 0, 15, middleLetter, t), "2.0.15. x  2013 06 04 03:00:59       ",
       "2.0.15.x 2013 06 04 03:00:59"},
      // The widest record still fills exactly 37 columns.
      {KTX_Version(255, 255, 65535, "rc1", t), "255.255.65535.rc1 2013 06 04 03:00:59",
       "255.255.65535.rc1 2013 06 04 03:00:59"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.version.GetText(), c.padded);
    EXPECT_EQ(c.version.GetDisplay(), c.display);
  }
  char small[37];
  EXPECT_EQ(ProgramVersion().ToText(small, sizeof small), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(ProgramVersion().ToDisplay(small, sizeof small), KTX_RC_INVALID_PARAMETER);
}

TEST(Version, PaddedTextRoundTrips) {
  const KTX_Version records[] = {ProgramVersion(), KTX_Version(255, 255, 65535, "rc1", KTX_DateTime(2400, 12, 31, 23, 59, 59)),
                                 KTX_Version(0, 0, 0, "   ", KTX_DateTime())};
  for (const KTX_Version &v : records) {
    KTX_Version back;
    EXPECT_EQ(ReadText(back, v.GetText()), KTX_RC_OK) << v.GetText();
    EXPECT_EQ(back, v) << v.GetText();
  }
}

TEST(Version, ShortTextHasNoBuildTime) {
  KTX_Version v;
  ASSERT_EQ(ReadText(v, "1.9.0.b          "), KTX_RC_OK);
  EXPECT_EQ(v, KTX_Version(1, 9, 0, "b  ", KTX_DateTime()));
  ASSERT_EQ(ReadText(v, "255.255.65535.rc1"), KTX_RC_OK);
  EXPECT_EQ(v, KTX_Version(255, 255, 65535, "rc1", KTX_DateTime()));
}

TEST(Version, ReadingTakesLettersAsTheyStandAndAMalformedDateAsZero) {
  KTX_Version v;
  ASSERT_EQ(ReadText(v, "3.1.7.X_Z 2017 08 10 21:09:xx        "), KTX_RC_OK);
  EXPECT_EQ(v, KTX_Version(3, 1, 7, "X_Z", KTX_DateTime()));
  // Empty numbers read as 0.
  ASSERT_EQ(ReadText(v, "..4.abc 2017 08 10 21:09:14          "), KTX_RC_OK);
  EXPECT_EQ(v, KTX_Version(0, 0, 4, "abc", KTX_DateTime(2017, 8, 10, 21, 9, 14)));
}

TEST(Version, BadTextIsRefusedAndLeavesTheRecordUnchanged) {
  struct Case {
    std::string text;
    int32_t rc;
  };
  const Case cases[] = {
      {"", KTX_RC_INVALID_PARAMETER},
      {"1.9.0.b 2017 08 10 21:09:14", KTX_RC_INVALID_PARAMETER},
      {"1.9.0.b   2017 08 10 21:09:14         ", KTX_RC_INVALID_PARAMETER},  // 38
      {"1.9.0.b         ", KTX_RC_INVALID_PARAMETER},                        // 16
      {"1.9a0.b   2017 08 10 21:09:14        ", KTX_RC_OPERATION_FAILED},
      {" 1.9.0.b  2017 08 10 21:09:14        ", KTX_RC_OPERATION_FAILED},
      {"1.9.0b    2017 08 10 21:09:14        ", KTX_RC_OPERATION_FAILED},
      {"1.9         .                        ", KTX_RC_OPERATION_FAILED},
      {"1234567890123456.                    ", KTX_RC_OPERATION_FAILED},  // no room after the numbers
      {"256.0.0.b   2017 08 10 21:09:14      ", KTX_RC_OPERATION_FAILED},  // major above 255
      {"0.256.0.b   2017 08 10 21:09:14      ", KTX_RC_OPERATION_FAILED},
      {"0.0.65536.b 2017 08 10 21:09:14      ", KTX_RC_OPERATION_FAILED},
      {"00000000000001.2.3.abc 2017 08 10 21:", KTX_RC_OPERATION_FAILED},  // build time cut short
      {"1.2.3333333333.abc", KTX_RC_INVALID_PARAMETER},
      {"1.2.33333333333.ab", KTX_RC_INVALID_PARAMETER},
      {"1.2.333333333.abc", KTX_RC_OPERATION_FAILED},
      {"1.2.0000000000.ab", KTX_RC_OPERATION_FAILED},  // letters cut short
  };
  for (const Case &c : cases) {
    KTX_Version v = ProgramVersion();
    EXPECT_EQ(ReadText(v, c.text), c.rc) << '"' << c.text << '"';
    EXPECT_EQ(v, ProgramVersion()) << '"' << c.text << '"';
  }
  KTX_Version v;
  EXPECT_EQ(v.FromText(nullptr, 37), KTX_RC_INVALID_PARAMETER);
}

TEST(Version, BinaryFormsPutTheLettersInReverse) {
  const KTX_Version v(1, 9, 0x1234, "abc", KTX_DateTime(2017, 8, 10, 21, 9, 14));
  uint8_t full[15] = {};
  v.ToBinary(full);
  const uint8_t expected[15] = {1, 9, 0x12, 0x34, 0, 'c', 'b', 'a', 0x07, 0xE1, 8, 10, 21, 9, 14};
  EXPECT_EQ(std::memcmp(full, expected, 15), 0);

  uint8_t shortForm[8] = {};
  v.ToShortBinary(shortForm);
  EXPECT_EQ(std::memcmp(shortForm, expected, 8), 0);

  KTX_Version back;
  EXPECT_EQ(back.FromBinary(full, 15), KTX_RC_OK);
  EXPECT_EQ(back, v);
  EXPECT_EQ(back.FromShortBinary(shortForm, 8), KTX_RC_OK);
  EXPECT_EQ(back, KTX_Version(1, 9, 0x1234, "abc", KTX_DateTime()));
}

TEST(Version, ShortBinaryInputIsRefused) {
  const uint8_t bytes[15] = {1, 9, 0, 0, 0, ' ', ' ', 'b', 0x07, 0xE1, 8, 10, 21, 9, 14};
  KTX_Version v = ProgramVersion();
  EXPECT_EQ(v.FromBinary(bytes, 14), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(v.FromShortBinary(bytes, 7), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(v.FromBinary(nullptr, 15), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(v, ProgramVersion());
}

TEST(Version, EqualityCoversEveryField) {
  const KTX_Version base = ProgramVersion();
  const KTX_Version others[] = {
      KTX_Version(2, 9, 0, "b  ", base.GetBuildTime()), KTX_Version(1, 8, 0, "b  ", base.GetBuildTime()),
      KTX_Version(1, 9, 1, "b  ", base.GetBuildTime()), KTX_Version(1, 9, 0, "c  ", base.GetBuildTime()),
      KTX_Version(1, 9, 0, "b", base.GetBuildTime()),   KTX_Version(1, 9, 0, "b  ", KTX_DateTime(2017, 8, 10, 21, 9, 15)),
  };
  EXPECT_EQ(base, ProgramVersion());
  for (const KTX_Version &o : others) {
    EXPECT_NE(base, o) << o.GetText();
  }
}

} // namespace
