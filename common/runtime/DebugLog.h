#pragma once
// The one diagnostics path of the system. Every line carries a fixed-width level
// label, the date and time, and a sequence number, and is appended to a plain
// text log file in the working directory. Only INFO and above are written.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_DebugString;
class KTX_StringAscii;

enum KTX_DebugLevel : int32_t {
  KTX_DBG5 = 0,
  KTX_DBG4 = 1,
  KTX_DBG3 = 2,
  KTX_DBG2 = 3,
  KTX_DBG1 = 4,
  KTX_MSG_RAW = 5,
  KTX_MSG_WRP = 6,
  KTX_MESSAGE = 7,
  KTX_INFO = 8,
  KTX_WARNING = 9,
  KTX_ERROR = 10,
  KTX_FATAL = 11,
  KTX_ASSERT = 12,
};

// Where a line comes from.
struct KTX_DebugLocation {
  const char *szFile;
  int32_t i32Line;
  int32_t i32Unused;
};

void DebugPrint(const KTX_DebugLocation &p_roLocation, int32_t p_i32Level, const char *p_szFormat, ...)
    __attribute__((format(printf, 3, 4)));

// True when lines of this level are written.
bool DebugLevelEnabled(int32_t p_i32Level);

#define KTX_LOG(level, ...) DebugPrint(KTX_DebugLocation{__FILE__, __LINE__, 0}, (level), __VA_ARGS__)
// Same, with a source name given by the caller instead of this file's path.
#define KTX_LOG_AT(source, level, ...) DebugPrint(KTX_DebugLocation{(source), __LINE__, 0}, (level), __VA_ARGS__)

// The assertion check: logs "Assertion Failed: "<condition>"" at ASSERT level
// when the condition is false; execution continues either way.
#define KTX_CHECK(cond)                                                                                      \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      DebugPrint(KTX_DebugLocation{__FILE__, __LINE__, 0}, KTX_ASSERT, "Assertion Failed: \"%s\"", #cond);  \
    }                                                                                                        \
  } while (0)
#define KTX_CHECK_AT(source, cond)                                                                           \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      DebugPrint(KTX_DebugLocation{(source), __LINE__, 0}, KTX_ASSERT, "Assertion Failed: \"%s\"", #cond);  \
    }                                                                                                        \
  } while (0)

// The log singleton. Lines are appended one at a time; the file is opened and
// closed for every line so it can be read or copied while the program runs.
class KTX_DebugLog : public KTX_BaseClass {
public:
  KTX_DebugLog();
  ~KTX_DebugLog() override;

  // At exit: deletes the singleton and its file name; later lines are dropped.
  void Delete() override;

  // Appends one finished line (plus CR LF) to the file.
  void AddLine(KTX_DebugString &p_roLine);
};

// The singleton, created on first use; none after it was deleted at exit.
KTX_DebugLog *GetDebugLog();

// Names the log file (relative to the working directory). Without it the file is
// "_DebugLog.txt". The first line written after naming a file recreates it empty.
void SetLogFileName(const char *p_szName);
// The file lines currently go to.
const char *GetLogFileName();

// Lets the thread layer supply the calling thread's name for the thread-name
// prefix field (switched off by default).
void SetDebugThreadNameProvider(const char *(*p_pfnProvider)());
