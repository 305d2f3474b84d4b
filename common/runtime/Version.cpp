#include "runtime/Version.h"

#include "runtime/ReturnCode.h"

#include <cstdio>
#include <cstring>

KTX_Version::KTX_Version() : c_u8Major(0), c_u8Minor(0), c_u16Build(0), c_acReleaseLetters{0, 0, 0}, c_oBuildTime() {}

KTX_Version::KTX_Version(uint8_t p_u8Major, uint8_t p_u8Minor, uint16_t p_u16Build, const char *p_pcReleaseLetters,
                         const KTX_DateTime &p_roBuildTime)
    : c_u8Major(p_u8Major), c_u8Minor(p_u8Minor), c_u16Build(p_u16Build), c_acReleaseLetters{0, 0, 0},
      c_oBuildTime(p_roBuildTime) {
  for (int32_t i = 0; p_pcReleaseLetters != nullptr && i < 3 && p_pcReleaseLetters[i] != '\0'; ++i) {
    c_acReleaseLetters[i] = p_pcReleaseLetters[i];
  }
}

char KTX_Version::GetReleaseLetter(int32_t p_i32Index) const {
  return p_i32Index >= 0 && p_i32Index < 3 ? c_acReleaseLetters[p_i32Index] : '\0';
}

void KTX_Version::ToShortBinary(uint8_t *p_pu8Out) const {
  p_pu8Out[0] = c_u8Major;
  p_pu8Out[1] = c_u8Minor;
  p_pu8Out[2] = static_cast<uint8_t>(c_u16Build >> 8);
  p_pu8Out[3] = static_cast<uint8_t>(c_u16Build & 0xFF);
  p_pu8Out[4] = 0;
  p_pu8Out[5] = static_cast<uint8_t>(c_acReleaseLetters[2]);
  p_pu8Out[6] = static_cast<uint8_t>(c_acReleaseLetters[1]);
  p_pu8Out[7] = static_cast<uint8_t>(c_acReleaseLetters[0]);
}

void KTX_Version::ToBinary(uint8_t *p_pu8Out) const {
  ToShortBinary(p_pu8Out);
  c_oBuildTime.ToBinary(p_pu8Out + c_i32ShortBinaryLength);
}

int32_t KTX_Version::FromShortBinary(const uint8_t *p_pu8Data, int32_t p_i32Count) {
  if (p_pu8Data == nullptr || p_i32Count < c_i32ShortBinaryLength) {
    return KTX_RC_INVALID_PARAMETER;
  }
  c_u8Major = p_pu8Data[0];
  c_u8Minor = p_pu8Data[1];
  c_u16Build = static_cast<uint16_t>((p_pu8Data[2] << 8) | p_pu8Data[3]);
  c_acReleaseLetters[2] = static_cast<char>(p_pu8Data[5]);
  c_acReleaseLetters[1] = static_cast<char>(p_pu8Data[6]);
  c_acReleaseLetters[0] = static_cast<char>(p_pu8Data[7]);
  c_oBuildTime.SetZero();
  return KTX_RC_OK;
}

int32_t KTX_Version::FromBinary(const uint8_t *p_pu8Data, int32_t p_i32Count) {
  if (p_pu8Data == nullptr || p_i32Count < c_i32BinaryLength) {
    return KTX_RC_INVALID_PARAMETER;
  }
  FromShortBinary(p_pu8Data, p_i32Count);
  return c_oBuildTime.FromBinary(p_pu8Data + c_i32ShortBinaryLength, p_i32Count - c_i32ShortBinaryLength);
}

int32_t KTX_Version::ToText(char *p_szText, int32_t p_i32Size) const {
  if (p_szText == nullptr || p_i32Size < c_i32TextLength + 1) {
    return KTX_RC_INVALID_PARAMETER;
  }
  char letters[3];
  for (int32_t i = 0; i < 3; ++i) {
    letters[i] = c_acReleaseLetters[i] == '\0' ? ' ' : c_acReleaseLetters[i];
  }
  char date[KTX_DateTime::c_i32TextLength + 1];
  c_oBuildTime.ToText(date, sizeof date);
  // The widest record (255.255.65535) still fits the 37 columns exactly.
  int n = std::snprintf(p_szText, static_cast<size_t>(p_i32Size), "%u.%u.%u.%c%c%c %s", c_u8Major, c_u8Minor,
                        c_u16Build, letters[0], letters[1], letters[2], date);
  while (n < c_i32TextLength) {
    p_szText[n++] = ' ';
  }
  p_szText[c_i32TextLength] = '\0';
  return KTX_RC_OK;
}

std::string KTX_Version::GetText() const {
  char text[c_i32TextLength + 1];
  ToText(text, sizeof text);
  return text;
}

int32_t KTX_Version::FromText(const char *p_pcText, int32_t p_i32Length) {
  if (p_pcText == nullptr || (p_i32Length != c_i32ShortTextLength && p_i32Length != c_i32TextLength)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  static constexpr uint32_t c_au32Limits[3] = {0xFF, 0xFF, 0xFFFF};
  uint32_t numbers[3] = {0, 0, 0};
  int32_t dots = 0;
  int32_t pos = 0;
  for (; pos < p_i32Length && dots < 3; ++pos) {
    const char c = p_pcText[pos];
    if (c == '.') {
      ++dots;
    } else if (c >= '0' && c <= '9') {
      numbers[dots] = numbers[dots] * 10 + static_cast<uint32_t>(c - '0');
      if (numbers[dots] > c_au32Limits[dots]) {
        return KTX_RC_OPERATION_FAILED;
      }
    } else {
      return KTX_RC_OPERATION_FAILED;
    }
  }
  // pos is now just after the third "."; the letters follow, then in the long form
  // one separator and the build time.
  const int32_t needed = p_i32Length == c_i32TextLength ? 3 + 1 + KTX_DateTime::c_i32TextLength : 3;
  if (dots < 3 || pos + needed > p_i32Length) {
    return KTX_RC_OPERATION_FAILED;
  }
  KTX_DateTime buildTime;
  if (p_i32Length == c_i32TextLength) {
    buildTime.FromText(p_pcText + pos + 4, KTX_DateTime::c_i32TextLength);
  }
  c_u8Major = static_cast<uint8_t>(numbers[0]);
  c_u8Minor = static_cast<uint8_t>(numbers[1]);
  c_u16Build = static_cast<uint16_t>(numbers[2]);
  std::memcpy(c_acReleaseLetters, p_pcText + pos, 3);
  c_oBuildTime = buildTime;
  return KTX_RC_OK;
}

int32_t KTX_Version::ToDisplay(char *p_szText, int32_t p_i32Size) const {
  if (p_szText == nullptr || p_i32Size < c_i32DisplaySize) {
    return KTX_RC_INVALID_PARAMETER;
  }
  char letters[5] = {0};
  int32_t count = 0;
  for (char letter : c_acReleaseLetters) {
    if (letter != ' ' && letter != '\0') {
      if (count == 0) {
        letters[count++] = '.';
      }
      letters[count++] = letter;
    }
  }
  char date[KTX_DateTime::c_i32TextLength + 1];
  c_oBuildTime.ToText(date, sizeof date);
  std::snprintf(p_szText, static_cast<size_t>(p_i32Size), "%u.%u.%u%s %s", c_u8Major, c_u8Minor, c_u16Build,
                letters, date);
  return KTX_RC_OK;
}

std::string KTX_Version::GetDisplay() const {
  char text[c_i32DisplaySize];
  ToDisplay(text, sizeof text);
  return text;
}

bool KTX_Version::operator==(const KTX_Version &p_roOther) const {
  return c_u8Major == p_roOther.c_u8Major && c_u8Minor == p_roOther.c_u8Minor &&
         c_u16Build == p_roOther.c_u16Build &&
         std::memcmp(c_acReleaseLetters, p_roOther.c_acReleaseLetters, sizeof c_acReleaseLetters) == 0 &&
         c_oBuildTime == p_roOther.c_oBuildTime;
}
