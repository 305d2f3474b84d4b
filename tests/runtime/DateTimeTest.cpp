#include "runtime/DateTime.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

KTX_DateTime FromText(const char *p_szText) {
  KTX_DateTime d;
  d.FromText(p_szText, static_cast<int32_t>(std::strlen(p_szText)));
  return d;
}

TEST(DateTime, ZeroDateRendersZerosAndIsNotValid) {
  KTX_DateTime zero;
  EXPECT_FALSE(zero.IsValid());
  EXPECT_EQ(zero.GetText(), "0000 00 00 00:00:00");
}

TEST(DateTime, ValidityFollowsTheFieldRanges) {
  struct Case {
    int16_t year;
    uint8_t month, day, hour, minute, second;
    bool valid;
  };
  const Case cases[] = {
      {2017, 8, 10, 21, 9, 14, true},  {1900, 1, 1, 0, 0, 0, true},     {2400, 12, 31, 23, 59, 59, true},
      {1899, 12, 31, 23, 59, 59, false}, {2401, 1, 1, 0, 0, 0, false},  {2017, 0, 1, 0, 0, 0, false},
      {2017, 13, 1, 0, 0, 0, false},   {2017, 4, 31, 0, 0, 0, false},   {2017, 1, 0, 0, 0, 0, false},
      {2017, 2, 29, 0, 0, 0, false},   {2016, 2, 29, 0, 0, 0, true},    {2000, 2, 29, 0, 0, 0, true},
      {1900, 2, 29, 0, 0, 0, false},   {2017, 1, 1, 24, 0, 0, false},   {2017, 1, 1, 0, 60, 0, false},
      {2017, 1, 1, 0, 0, 60, false},
  };
  for (const Case &c : cases) {
    KTX_DateTime d(c.year, c.month, c.day, c.hour, c.minute, c.second);
    EXPECT_EQ(d.IsValid(), c.valid) << d.GetText();
  }
}

TEST(DateTime, TextRoundTripsAndKeepsInvalidFields) {
  KTX_DateTime d(2017, 8, 10, 21, 9, 14);
  EXPECT_EQ(d.GetText(), "2017 08 10 21:09:14");
  EXPECT_EQ(FromText("2017 08 10 21:09:14"), d);

  // A date that does not exist keeps its fields but is not valid.
  KTX_DateTime feb29 = FromText("2017 02 29 00:00:00");
  EXPECT_FALSE(feb29.IsValid());
  EXPECT_EQ(feb29.GetYear(), 2017);
  EXPECT_EQ(feb29.GetMonth(), 2);
  EXPECT_EQ(feb29.GetDay(), 29);
  EXPECT_EQ(feb29.GetText(), "2017 02 29 00:00:00");

  // Only the first 19 characters count.
  EXPECT_EQ(FromText("2017 08 10 21:09:14   trailing"), d);
  KTX_DateTime fromTerminated;
  fromTerminated.FromText("2017 08 10 21:09:14");
  EXPECT_EQ(fromTerminated, d);
}

TEST(DateTime, MalformedTextGivesTheZeroDate) {
  const char *cases[] = {
      "",                    "2017 08 10 21:09:1",  "2017-08-10 21:09:14", "2017 08 10 21.09:14",
      "2017 08 10 21:09 14", "2O17 08 10 21:09:14", " 2017 08 10 21:09:1", "2017 8 10 21:09:14 ",
      "2017 08 10 21:09:1x",
  };
  for (const char *text : cases) {
    KTX_DateTime d(2017, 8, 10, 21, 9, 14);
    d.FromText(text, static_cast<int32_t>(std::strlen(text)));
    EXPECT_EQ(d, KTX_DateTime()) << '"' << text << '"';
  }
  KTX_DateTime d(2017, 8, 10, 21, 9, 14);
  d.FromText(nullptr, 19);
  EXPECT_EQ(d, KTX_DateTime());
}

TEST(DateTime, TextAlwaysKeepsItsNineteenColumns) {
  // Fields from binary input may not fit their columns; the form stays 19 characters.
  const uint8_t cases[][7] = {
      {0xFF, 0xFF, 1, 1, 0, 0, 0},  // year -1
      {0x27, 0x10, 1, 1, 0, 0, 0},  // year 10000
      {0x07, 0xE1, 200, 1, 0, 0, 0},
      {0x07, 0xE1, 1, 1, 0, 0, 255},
  };
  for (const auto &bytes : cases) {
    KTX_DateTime d;
    ASSERT_EQ(d.FromBinary(bytes, 7), KTX_RC_OK);
    EXPECT_FALSE(d.IsValid());
    EXPECT_EQ(d.GetText(), "0000 00 00 00:00:00");
  }
  char small[19];
  EXPECT_EQ(KTX_DateTime(2017, 8, 10, 21, 9, 14).ToText(small, sizeof small), KTX_RC_INVALID_PARAMETER);
}

TEST(DateTime, BinaryFormIsBigEndianYearThenFields) {
  KTX_DateTime d(2017, 8, 10, 21, 9, 14);
  uint8_t out[7] = {};
  d.ToBinary(out);
  const uint8_t expected[7] = {0x07, 0xE1, 8, 10, 21, 9, 14};
  EXPECT_EQ(std::memcmp(out, expected, 7), 0);

  KTX_DateTime back;
  EXPECT_EQ(back.FromBinary(out, 7), KTX_RC_OK);
  EXPECT_EQ(back, d);
  EXPECT_TRUE(back.IsValid());

  KTX_DateTime untouched(2000, 1, 1, 0, 0, 0);
  EXPECT_EQ(untouched.FromBinary(out, 6), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(untouched.FromBinary(nullptr, 7), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(untouched, KTX_DateTime(2000, 1, 1, 0, 0, 0));
}

TEST(DateTime, DaysInMonth) {
  struct Case {
    int32_t month, year;
    uint8_t days;
  };
  const Case cases[] = {
      {1, 2017, 31}, {2, 2017, 28}, {3, 2017, 31}, {4, 2017, 30},  {5, 2017, 31}, {6, 2017, 30},
      {7, 2017, 31}, {8, 2017, 31}, {9, 2017, 30}, {10, 2017, 31}, {11, 2017, 30}, {12, 2017, 31},
      {2, 2000, 29}, {2, 1900, 28}, {2, 2016, 29}, {2, 2100, 28},  {13, 2017, 0}, {0, 2017, 0},
      {-1, 2017, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(KTX_DateTime::DaysInMonth(c.month, c.year), c.days) << c.month << "/" << c.year;
  }
}

TEST(DateTime, AddSecondsCarriesAndBorrowsAcrossTheCalendar) {
  struct Case {
    const char *from;
    int32_t seconds;
    const char *to;
  };
  const Case cases[] = {
      {"2017 12 31 23:30:00", 3600, "2018 01 01 00:30:00"},
      {"2016 03 01 00:00:30", -60, "2016 02 29 23:59:30"},
      {"2100 03 01 00:00:30", -60, "2100 02 28 23:59:30"},
      {"2017 01 31 12:00:00", 30 * 86400, "2017 03 02 12:00:00"},
      {"2017 08 10 21:09:14", 0, "2017 08 10 21:09:14"},
      {"2017 08 10 21:09:14", 46, "2017 08 10 21:10:00"},
      {"2017 08 10 21:09:14", -14, "2017 08 10 21:09:00"},
      {"2017 08 10 21:09:14", -15, "2017 08 10 21:08:59"},
      {"2018 01 01 00:00:00", -1, "2017 12 31 23:59:59"},
      {"2017 03 02 12:00:00", -30 * 86400, "2017 01 31 12:00:00"},
      {"2000 02 28 23:59:59", 1, "2000 02 29 00:00:00"},
      {"2000 01 01 00:00:00", 366 * 86400, "2001 01 01 00:00:00"},
      {"2000 01 01 00:00:00", INT32_MAX, "2068 01 19 03:14:07"},
      {"2100 01 01 00:00:00", INT32_MIN, "2031 12 13 20:45:52"},
  };
  for (const Case &c : cases) {
    KTX_DateTime d = FromText(c.from);
    ASSERT_TRUE(d.IsValid()) << c.from;
    EXPECT_EQ(d.AddSeconds(c.seconds), KTX_RC_OK);
    EXPECT_EQ(d.GetText(), c.to) << c.from << " + " << c.seconds;
    // Stepping back by the same amount returns to the start.
    if (c.seconds != INT32_MIN) {
      EXPECT_EQ(d.AddSeconds(-c.seconds), KTX_RC_OK);
      EXPECT_EQ(d.GetText(), c.from);
    }
  }
}

TEST(DateTime, AddSecondsRefusesAnInvalidDate) {
  KTX_DateTime zero;
  EXPECT_EQ(zero.AddSeconds(60), KTX_RC_INVALID_CALL);
  EXPECT_EQ(zero, KTX_DateTime());
  KTX_DateTime feb29 = FromText("2017 02 29 00:00:00");
  EXPECT_EQ(feb29.AddSeconds(-60), KTX_RC_INVALID_CALL);
  EXPECT_EQ(feb29.GetText(), "2017 02 29 00:00:00");
}

TEST(DateTime, SecondsBetween) {
  const KTX_DateTime later = FromText("2017 08 10 21:09:14");
  const KTX_DateTime earlier = FromText("2017 08 10 21:09:04");
  EXPECT_EQ(KTX_DateTime::SecondsBetween(later, earlier), 10);
  EXPECT_EQ(KTX_DateTime::SecondsBetween(earlier, later), -10);
  EXPECT_EQ(KTX_DateTime::SecondsBetween(later, KTX_DateTime()), 0);
  EXPECT_EQ(KTX_DateTime::SecondsBetween(KTX_DateTime(), later), 0);
  EXPECT_EQ(KTX_DateTime::SecondsBetween(FromText("2017 02 01 00:00:00"), FromText("2016 02 01 00:00:00")),
            366 * 86400);
  EXPECT_EQ(KTX_DateTime::SecondsBetween(FromText("2018 01 01 00:00:00"), FromText("2017 12 31 23:59:59")), 1);
  // Spans wider than 32 bits of seconds saturate instead of wrapping round.
  EXPECT_EQ(KTX_DateTime::SecondsBetween(FromText("2400 01 01 00:00:00"), FromText("1900 01 01 00:00:00")),
            INT32_MAX);
  EXPECT_EQ(KTX_DateTime::SecondsBetween(FromText("1900 01 01 00:00:00"), FromText("2400 01 01 00:00:00")),
            INT32_MIN);
}

TEST(DateTime, SecondsBetweenAgreesWithAddSeconds) {
  const KTX_DateTime start = FromText("2015 11 17 05:43:21");
  const int32_t steps[] = {1, 59, 3600, 86399, 86400, 2678400, 31622400, 123456789, -987654321};
  for (int32_t step : steps) {
    KTX_DateTime moved = start;
    ASSERT_EQ(moved.AddSeconds(step), KTX_RC_OK);
    EXPECT_EQ(KTX_DateTime::SecondsBetween(moved, start), step) << moved.GetText();
  }
}

} // namespace
