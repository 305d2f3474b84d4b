#include "sensor-sim/SimTrafficLog.h"

#include "runtime/ReturnCode.h"

#include <cstdarg>
#include <ctime>

namespace {

uint64_t MonotonicNs() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

} // namespace

KTX_SimTrafficLog::KTX_SimTrafficLog() : c_poFile(nullptr), c_bOwnFile(false), c_u64StartNs(MonotonicNs()), c_u64Count(0) {}

KTX_SimTrafficLog::~KTX_SimTrafficLog() { Close(); }

int32_t KTX_SimTrafficLog::Open(const std::string &p_strTarget) {
  Close();
  OsalThreadMutexGuard guard(c_oLock);
  c_u64StartNs = MonotonicNs();
  if (p_strTarget == "-") {
    c_poFile = stdout;
  } else if (!p_strTarget.empty()) {
    c_poFile = std::fopen(p_strTarget.c_str(), "a");
    if (c_poFile == nullptr) {
      return KTX_RC_FILE_OPEN_FAILED;
    }
    c_bOwnFile = true;
  }
  return KTX_RC_OK;
}

void KTX_SimTrafficLog::Close() {
  OsalThreadMutexGuard guard(c_oLock);
  if (c_poFile != nullptr && c_bOwnFile) {
    std::fclose(c_poFile);
  }
  c_poFile = nullptr;
  c_bOwnFile = false;
}

void KTX_SimTrafficLog::Line(const std::string &p_strLink, const char *p_szFormat, ...) {
  char text[2048];
  va_list args;
  va_start(args, p_szFormat);
  std::vsnprintf(text, sizeof text, p_szFormat, args);
  va_end(args);
  OsalThreadMutexGuard guard(c_oLock);
  const double seconds = static_cast<double>(MonotonicNs() - c_u64StartNs) / 1e9;
  char line[2200];
  std::snprintf(line, sizeof line, "%10.3f %-22s %s", seconds, p_strLink.c_str(), text);
  c_dqLines.emplace_back(line);
  while (c_dqLines.size() > c_szKeptLines) {
    c_dqLines.pop_front();
  }
  ++c_u64Count;
  if (c_poFile != nullptr) {
    std::fprintf(c_poFile, "%s\n", line);
    std::fflush(c_poFile);
  }
}

std::vector<std::string> KTX_SimTrafficLog::GetLines() const {
  OsalThreadMutexGuard guard(c_oLock);
  return {c_dqLines.begin(), c_dqLines.end()};
}

uint64_t KTX_SimTrafficLog::GetLineCount() const {
  OsalThreadMutexGuard guard(c_oLock);
  return c_u64Count;
}

std::string KTX_SimTrafficLog::Hex(const uint8_t *p_pu8Data, int32_t p_i32Count, int32_t p_i32Max) {
  std::string text;
  const int32_t shown = p_i32Count < p_i32Max ? p_i32Count : p_i32Max;
  for (int32_t i = 0; i < shown; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", p_pu8Data[i]);
    text += pair;
  }
  if (shown < p_i32Count) {
    text += " ...";
  }
  return text;
}
