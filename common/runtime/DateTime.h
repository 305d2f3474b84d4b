#pragma once
// A calendar date and time of day without a time zone: sensor clocks, boot and
// mode-change times, build times, file dates. A plain value, copied freely.
//
// Text form, exactly 19 characters: "2017 08 10 21:09:14".
// Binary form, 7 bytes: year big-endian (2 bytes), month, day, hour, minute, second.

#include <cstdint>
#include <string>

class KTX_DateTime {
public:
  static constexpr int32_t c_i32TextLength = 19;
  static constexpr int32_t c_i32BinaryLength = 7;

  // The zero date: every field 0, not valid.
  KTX_DateTime();
  KTX_DateTime(int16_t p_i16Year, uint8_t p_u8Month, uint8_t p_u8Day, uint8_t p_u8Hour, uint8_t p_u8Minute,
               uint8_t p_u8Second);

  // Sets all six fields and recomputes the valid flag.
  void Set(int16_t p_i16Year, uint8_t p_u8Month, uint8_t p_u8Day, uint8_t p_u8Hour, uint8_t p_u8Minute,
           uint8_t p_u8Second);
  void SetZero();

  // True when year is 1900..2400, month 1..12, day within the month, hour 0..23,
  // minute and second 0..59 (as of the last Set, read or construction).
  bool IsValid() const { return c_bValid; }
  int16_t GetYear() const { return c_i16Year; }
  uint8_t GetMonth() const { return c_u8Month; }
  uint8_t GetDay() const { return c_u8Day; }
  uint8_t GetHour() const { return c_u8Hour; }
  uint8_t GetMinute() const { return c_u8Minute; }
  uint8_t GetSecond() const { return c_u8Second; }

  // Writes the 19-character text form and a terminator; p_i32Size must be at
  // least 20, else KTX_RC_INVALID_PARAMETER and nothing is written. Fields that do
  // not fit their columns (a year outside 0..9999, another field above 99) render
  // as the zero date's text, so the form always keeps its 19 characters.
  int32_t ToText(char *p_szText, int32_t p_i32Size) const;
  std::string GetText() const;
  // Reads the text form from the first 19 characters. Never fails: a text that is
  // shorter or has anything but a digit or the separator at one of the 19
  // positions gives the zero date.
  void FromText(const char *p_pcText, int32_t p_i32Length);
  // Same for a zero-terminated text.
  void FromText(const char *p_szText);

  // Writes the 7-byte binary form.
  void ToBinary(uint8_t *p_pu8Out) const;
  // Reads the 7-byte binary form; fewer bytes: KTX_RC_INVALID_PARAMETER, unchanged.
  int32_t FromBinary(const uint8_t *p_pu8Data, int32_t p_i32Count);

  // Days of the month in that year: 0 for a month outside 1..12; February has 29
  // in Gregorian leap years.
  static uint8_t DaysInMonth(int32_t p_i32Month, int32_t p_i32Year);
  // Moves the date-time by p_i32Seconds (negative moves it back). An invalid
  // date-time: KTX_RC_INVALID_CALL, unchanged. The valid flag is not recomputed.
  int32_t AddSeconds(int32_t p_i32Seconds);
  // Seconds from p_roB to p_roA, positive when p_roA is the later; 0 when either is
  // not valid. Spans beyond the 32-bit range saturate at its ends.
  static int32_t SecondsBetween(const KTX_DateTime &p_roA, const KTX_DateTime &p_roB);

  bool operator==(const KTX_DateTime &p_roOther) const;
  bool operator!=(const KTX_DateTime &p_roOther) const { return !(*this == p_roOther); }

private:
  void UpdateValid();

  int16_t c_i16Year;
  uint8_t c_u8Month;
  uint8_t c_u8Day;
  uint8_t c_u8Hour;
  uint8_t c_u8Minute;
  uint8_t c_u8Second;
  bool c_bValid;
};
