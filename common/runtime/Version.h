#pragma once
// A software version record: the program's own version, the versions a sensor
// reports, the version carried by a software file.
//
// Binary form, 15 bytes: major, minor, build (big-endian, 2 bytes), a zero byte,
// the release letters third, second, first, then the build time's 7-byte binary
// form. The first 8 bytes alone are the short binary form.
//
// Padded text form (token values, software file headers), 37 characters:
// "1.9.0.b   2017 08 10 21:09:14" and blanks up to 37. A 17-character form
// without the build time ("1.9.0.b" and blanks) is accepted on reading.
//
// Display form: "1.9.0.b 2017 08 10 21:09:14", the release letters that are
// neither blank nor zero after one ".".

#include "runtime/DateTime.h"

#include <cstdint>
#include <string>

class KTX_Version {
public:
  static constexpr int32_t c_i32BinaryLength = 15;
  static constexpr int32_t c_i32ShortBinaryLength = 8;
  static constexpr int32_t c_i32TextLength = 37;
  static constexpr int32_t c_i32ShortTextLength = 17;
  // Room for the display form and its terminator.
  static constexpr int32_t c_i32DisplaySize = 38;

  // All zero, the zero date as build time.
  KTX_Version();
  // p_pcReleaseLetters: up to three letters (first, second, third); a terminator
  // ends them early and the rest are 0. May be null.
  KTX_Version(uint8_t p_u8Major, uint8_t p_u8Minor, uint16_t p_u16Build, const char *p_pcReleaseLetters,
              const KTX_DateTime &p_roBuildTime);

  uint8_t GetMajor() const { return c_u8Major; }
  uint8_t GetMinor() const { return c_u8Minor; }
  uint16_t GetBuild() const { return c_u16Build; }
  // p_i32Index 0..2 for the first, second and third letter; 0 outside that range.
  char GetReleaseLetter(int32_t p_i32Index) const;
  const KTX_DateTime &GetBuildTime() const { return c_oBuildTime; }

  void ToBinary(uint8_t *p_pu8Out) const;
  void ToShortBinary(uint8_t *p_pu8Out) const;
  // Fewer bytes than the form needs: KTX_RC_INVALID_PARAMETER, unchanged.
  int32_t FromBinary(const uint8_t *p_pu8Data, int32_t p_i32Count);
  // Reads the short form; the build time becomes the zero date.
  int32_t FromShortBinary(const uint8_t *p_pu8Data, int32_t p_i32Count);

  // Writes the 37-character padded text form and a terminator; p_i32Size must be
  // at least 38, else KTX_RC_INVALID_PARAMETER.
  int32_t ToText(char *p_szText, int32_t p_i32Size) const;
  std::string GetText() const;
  // Reads a padded text form of 17 or 37 characters (trailing blanks count).
  // Another length: KTX_RC_INVALID_PARAMETER. A character other than a digit or
  // "." before the third ".", a number too large for its field, or a text too
  // short to hold the release letters (and the build time) after it:
  // KTX_RC_OPERATION_FAILED. On failure the record is unchanged.
  int32_t FromText(const char *p_pcText, int32_t p_i32Length);

  // Writes the display form and a terminator; p_i32Size must be at least
  // c_i32DisplaySize, else KTX_RC_INVALID_PARAMETER.
  int32_t ToDisplay(char *p_szText, int32_t p_i32Size) const;
  std::string GetDisplay() const;

  // Equal in every field: numbers, release letters and build time.
  bool operator==(const KTX_Version &p_roOther) const;
  bool operator!=(const KTX_Version &p_roOther) const { return !(*this == p_roOther); }

private:
  uint8_t c_u8Major;
  uint8_t c_u8Minor;
  uint16_t c_u16Build;
  char c_acReleaseLetters[3];
  KTX_DateTime c_oBuildTime;
};
