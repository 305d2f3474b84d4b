#pragma once
// The emulator's traffic log: one line per message received or sent (decoded
// with the message codec's own text), per message dropped as malformed, and per
// injected fault. Lines go to a file or standard output and the latest ones are
// also kept in memory for inspection.

#include "runtime/OsalThreadMutex.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

class KTX_SimTrafficLog {
public:
  static constexpr size_t c_szKeptLines = 4000;

  KTX_SimTrafficLog();
  ~KTX_SimTrafficLog();
  KTX_SimTrafficLog(const KTX_SimTrafficLog &) = delete;
  KTX_SimTrafficLog &operator=(const KTX_SimTrafficLog &) = delete;

  // "" keeps lines in memory only, "-" also writes them to standard output,
  // anything else names a file that is appended to. KTX_RC_FILE_OPEN_FAILED when
  // the file cannot be opened.
  int32_t Open(const std::string &p_strTarget);
  void Close();

  // One line: seconds since the log was opened, the link, then the text.
  void Line(const std::string &p_strLink, const char *p_szFormat, ...) __attribute__((format(printf, 3, 4)));

  std::vector<std::string> GetLines() const;
  // How many lines were written since the log was opened.
  uint64_t GetLineCount() const;

  // Upper-case hexadecimal pairs separated by blanks, at most p_i32Max bytes, "..." after a cut.
  static std::string Hex(const uint8_t *p_pu8Data, int32_t p_i32Count, int32_t p_i32Max = 48);

private:
  mutable OsalThreadMutex c_oLock;
  FILE *c_poFile;
  bool c_bOwnFile;
  uint64_t c_u64StartNs;
  uint64_t c_u64Count;
  std::deque<std::string> c_dqLines;
};
