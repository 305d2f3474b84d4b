// Feeds outside bytes to the date-time and version record readers (text forms as
// found in token files and software file headers, binary forms as carried by
// sensor answers) and checks that what they accept renders and reads back the same.

#include "runtime/DateTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/Version.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void Require(bool p_bCondition) {
  if (!p_bCondition) {
    __builtin_trap();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const int32_t count = size > 4096 ? 4096 : static_cast<int32_t>(size);
  const char *text = reinterpret_cast<const char *>(data);

  KTX_DateTime date;
  date.FromText(text, count);
  const std::string dateText = date.GetText();
  Require(dateText.size() == 19);
  KTX_DateTime dateAgain;
  dateAgain.FromText(dateText.c_str());
  Require(dateAgain == date);

  if (date.FromBinary(data, count) == KTX_RC_OK) {
    Require(date.GetText().size() == 19);
    uint8_t out[7];
    date.ToBinary(out);
    Require(std::memcmp(out, data, 7) == 0);
    KTX_DateTime moved = date;
    const int32_t seconds = count >= 11 ? static_cast<int32_t>(static_cast<uint32_t>(data[7]) << 24 |
                                                               static_cast<uint32_t>(data[8]) << 16 |
                                                               static_cast<uint32_t>(data[9]) << 8 | data[10])
                                        : 0;
    // The valid flag survives AddSeconds, so the distance is always measurable.
    if (moved.AddSeconds(seconds) == KTX_RC_OK && seconds != INT32_MIN) {
      Require(KTX_DateTime::SecondsBetween(moved, date) == seconds);
    }
  }

  KTX_Version version;
  if (version.FromText(text, count) == KTX_RC_OK) {
    const std::string padded = version.GetText();
    Require(padded.size() == 37);
    KTX_Version again;
    Require(again.FromText(padded.data(), 37) == KTX_RC_OK);
    Require(again.GetText() == padded);
    Require(version.GetDisplay().size() < KTX_Version::c_i32DisplaySize);
  }
  if (version.FromBinary(data, count) == KTX_RC_OK) {
    Require(version.GetText().size() == 37);
    Require(version.GetDisplay().size() < KTX_Version::c_i32DisplaySize);
    uint8_t out[15];
    version.ToBinary(out);
    Require(std::memcmp(out, data, 4) == 0 && std::memcmp(out + 5, data + 5, 10) == 0);
  }
  if (version.FromShortBinary(data, count) == KTX_RC_OK) {
    Require(version.GetText().size() == 37);
  }
  return 0;
}
