#include "runtime/DateTime.h"

#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr char c_szZeroText[] = "0000 00 00 00:00:00";
// What each of the 19 positions of the text form holds: 'd' a digit, else that separator.
constexpr char c_szTextPattern[] = "dddd dd dd dd:dd:dd";

bool IsLeapYear(int32_t p_i32Year) {
  return (p_i32Year % 4 == 0 && p_i32Year % 100 != 0) || p_i32Year % 400 == 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int32_t TwoDigits(const char *p_pcText) { return (p_pcText[0] - '0') * 10 + (p_pcText[1] - '0'); }

} // namespace

KTX_DateTime::KTX_DateTime()
    : c_i16Year(0), c_u8Month(0), c_u8Day(0), c_u8Hour(0), c_u8Minute(0), c_u8Second(0), c_bValid(false) {}

KTX_DateTime::KTX_DateTime(int16_t p_i16Year, uint8_t p_u8Month, uint8_t p_u8Day, uint8_t p_u8Hour,
                           uint8_t p_u8Minute, uint8_t p_u8Second)
    : KTX_DateTime() {
  Set(p_i16Year, p_u8Month, p_u8Day, p_u8Hour, p_u8Minute, p_u8Second);
}

void KTX_DateTime::Set(int16_t p_i16Year, uint8_t p_u8Month, uint8_t p_u8Day, uint8_t p_u8Hour,
                       uint8_t p_u8Minute, uint8_t p_u8Second) {
  c_i16Year = p_i16Year;
  c_u8Month = p_u8Month;
  c_u8Day = p_u8Day;
  c_u8Hour = p_u8Hour;
  c_u8Minute = p_u8Minute;
  c_u8Second = p_u8Second;
  UpdateValid();
}

void KTX_DateTime::SetZero() { *this = KTX_DateTime(); }

void KTX_DateTime::UpdateValid() {
  c_bValid = c_i16Year >= 1900 && c_i16Year <= 2400 && c_u8Month >= 1 && c_u8Month <= 12 && c_u8Day >= 1 &&
             c_u8Day <= DaysInMonth(c_u8Month, c_i16Year) && c_u8Hour <= 23 && c_u8Minute <= 59 &&
             c_u8Second <= 59;
}

int32_t KTX_DateTime::ToText(char *p_szText, int32_t p_i32Size) const {
  if (p_szText == nullptr || p_i32Size < c_i32TextLength + 1) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const bool fits = c_i16Year >= 0 && c_i16Year <= 9999 && c_u8Month <= 99 && c_u8Day <= 99 && c_u8Hour <= 99 &&
                    c_u8Minute <= 99 && c_u8Second <= 99;
  if (!fits) {
    std::memcpy(p_szText, c_szZeroText, sizeof c_szZeroText);
    return KTX_RC_OK;
  }
  std::snprintf(p_szText, static_cast<size_t>(p_i32Size), "%04d %02d %02d %02d:%02d:%02d", c_i16Year, c_u8Month,
                c_u8Day, c_u8Hour, c_u8Minute, c_u8Second);
  return KTX_RC_OK;
}

std::string KTX_DateTime::GetText() const {
  char text[c_i32TextLength + 1];
  ToText(text, sizeof text);
  return text;
}

void KTX_DateTime::FromText(const char *p_pcText, int32_t p_i32Length) {
  SetZero();
  if (p_pcText == nullptr || p_i32Length < c_i32TextLength) {
    return;
  }
  for (int32_t i = 0; i < c_i32TextLength; ++i) {
    const char c = p_pcText[i];
    const bool ok = c_szTextPattern[i] == 'd' ? (c >= '0' && c <= '9') : c == c_szTextPattern[i];
    if (!ok) {
      return;
    }
  }
  const int32_t year = TwoDigits(p_pcText) * 100 + TwoDigits(p_pcText + 2);
  Set(static_cast<int16_t>(year), static_cast<uint8_t>(TwoDigits(p_pcText + 5)),
      static_cast<uint8_t>(TwoDigits(p_pcText + 8)), static_cast<uint8_t>(TwoDigits(p_pcText + 11)),
      static_cast<uint8_t>(TwoDigits(p_pcText + 14)), static_cast<uint8_t>(TwoDigits(p_pcText + 17)));
}

void KTX_DateTime::FromText(const char *p_szText) {
  FromText(p_szText, KTX_StrLenLimited(p_szText, c_i32TextLength));
}

void KTX_DateTime::ToBinary(uint8_t *p_pu8Out) const {
  const uint16_t year = static_cast<uint16_t>(c_i16Year);
  p_pu8Out[0] = static_cast<uint8_t>(year >> 8);
  p_pu8Out[1] = static_cast<uint8_t>(year & 0xFF);
  p_pu8Out[2] = c_u8Month;
  p_pu8Out[3] = c_u8Day;
  p_pu8Out[4] = c_u8Hour;
  p_pu8Out[5] = c_u8Minute;
  p_pu8Out[6] = c_u8Second;
}

int32_t KTX_DateTime::FromBinary(const uint8_t *p_pu8Data, int32_t p_i32Count) {
  if (p_pu8Data == nullptr || p_i32Count < c_i32BinaryLength) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint16_t year = static_cast<uint16_t>((p_pu8Data[0] << 8) | p_pu8Data[1]);
  Set(static_cast<int16_t>(year), p_pu8Data[2], p_pu8Data[3], p_pu8Data[4], p_pu8Data[5], p_pu8Data[6]);
  return KTX_RC_OK;
}

uint8_t KTX_DateTime::DaysInMonth(int32_t p_i32Month, int32_t p_i32Year) {
  static constexpr uint8_t c_au8Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (p_i32Month < 1 || p_i32Month > 12) {
    return 0;
  }
  if (p_i32Month == 2 && IsLeapYear(p_i32Year)) {
    return 29;
  }
  return c_au8Days[p_i32Month - 1];
}

int32_t KTX_DateTime::AddSeconds(int32_t p_i32Seconds) {
  if (!c_bValid) {
    return KTX_RC_INVALID_CALL;
  }
  int32_t year = c_i16Year;
  int32_t month = c_u8Month;
  int64_t day = c_u8Day;
  int64_t hour = c_u8Hour;
  int64_t minute = c_u8Minute;
  int64_t second = c_u8Second;
  if (p_i32Seconds >= 0) {
    second += p_i32Seconds;
    minute += second / 60;
    second %= 60;
    hour += minute / 60;
    minute %= 60;
    day += hour / 24;
    hour %= 24;
    // At most about 25,000 days fit in 32 bits of seconds, so this loop is bounded.
    while (day > DaysInMonth(month, year)) {
      day -= DaysInMonth(month, year);
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  } else {
    const int64_t amount = -static_cast<int64_t>(p_i32Seconds);
    int64_t borrow = 0;
    second -= amount % 60;
    if (second < 0) {
      second += 60;
      borrow = 1;
    }
    minute -= (amount / 60) % 60 + borrow;
    borrow = 0;
    if (minute < 0) {
      minute += 60;
      borrow = 1;
    }
    hour -= (amount / 3600) % 24 + borrow;
    borrow = 0;
    if (hour < 0) {
      hour += 24;
      borrow = 1;
    }
    const int64_t days = amount / 86400 + borrow;
    for (int64_t i = 0; i < days; ++i) {
      if (--day == 0) {
        if (--month < 1) {
          month = 12;
          --year;
        }
        day = DaysInMonth(month, year);
      }
    }
  }
  c_i16Year = static_cast<int16_t>(year);
  c_u8Month = static_cast<uint8_t>(month);
  c_u8Day = static_cast<uint8_t>(day);
  c_u8Hour = static_cast<uint8_t>(hour);
  c_u8Minute = static_cast<uint8_t>(minute);
  c_u8Second = static_cast<uint8_t>(second);
  return KTX_RC_OK;
}

int32_t KTX_DateTime::SecondsBetween(const KTX_DateTime &p_roA, const KTX_DateTime &p_roB) {
  if (!p_roA.c_bValid || !p_roB.c_bValid) {
    return 0;
  }
  auto seconds = [](const KTX_DateTime &d) {
    return DaysFromCivil(d.c_i16Year, d.c_u8Month, d.c_u8Day) * 86400 + d.c_u8Hour * 3600 + d.c_u8Minute * 60 +
           d.c_u8Second;
  };
  const int64_t diff = seconds(p_roA) - seconds(p_roB);
  if (diff > INT32_MAX) {
    return INT32_MAX;
  }
  if (diff < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<int32_t>(diff);
}

bool KTX_DateTime::operator==(const KTX_DateTime &p_roOther) const {
  return c_i16Year == p_roOther.c_i16Year && c_u8Month == p_roOther.c_u8Month && c_u8Day == p_roOther.c_u8Day &&
         c_u8Hour == p_roOther.c_u8Hour && c_u8Minute == p_roOther.c_u8Minute &&
         c_u8Second == p_roOther.c_u8Second && c_bValid == p_roOther.c_bValid;
}
