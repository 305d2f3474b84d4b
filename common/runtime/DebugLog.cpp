#include "runtime/DebugLog.h"

#include "runtime/DebugString.h"
#include "runtime/OsalTime.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

// Log text is cut at fixed lengths on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wformat-truncation"
#endif

namespace {

const char *const kLevelLabels[13] = {
    "    DBG5", "    DBG4", "    DBG3", "    DBG2", "    DBG1", " MSG_RAW", " MSG_WRP",
    " MESSAGE", "    INFO", " WARNING", " *ERROR*", " *FATAL*", "*ASSERT*",
};
constexpr bool kLevelEnabled[13] = {false, false, false, false, false, false, false,
                                    false, true,  true,  true,  true,  true};

// Prefix field widths; 0 switches a field off.
constexpr int32_t kWidthSourceFile = 0;
constexpr int32_t kWidthSourceLine = 0;
constexpr int32_t kWidthDate = 14;
constexpr int32_t kWidthTime = 10;
constexpr int32_t kWidthTickDelta = 0;
constexpr int32_t kWidthThreadId = 0;
constexpr int32_t kWidthThreadName = 0;

constexpr char kSeparator[] = " -- ";
constexpr char kDefaultFileName[] = "_DebugLog.txt";

// Process-wide log state. The name is guarded by g_nameMutex; the file is
// written under the class lock of the log type.
std::mutex g_nameMutex;
char g_szFileName[4096];
bool g_bNameSet = false;
// The first write to a newly named file creates it; the flag belongs to the
// name it was set with (the generation), so a line still on its way to the
// previous file neither truncates that file nor uses up the new file's creation.
bool g_bFirstWrite = true;
uint32_t g_u32NameGeneration = 0;
std::atomic<uint32_t> g_u32PreviousTick{0};
std::atomic<bool> g_bFirstLine{true};
constexpr bool kBreakOnFatal = true;

std::mutex g_singletonMutex;
std::atomic<KTX_DebugLog *> g_poLog{nullptr};
// Set when the singleton was deleted at exit: lines are dropped from then on
// until a log file is named again.
std::atomic<bool> g_bLogClosed{false};

const char *(*g_pfnThreadName)() = nullptr;

void AppendField(char *p_szPrefix, size_t p_uSize, int32_t p_i32Width, const char *p_szValue) {
  char field[128];
  std::snprintf(field, sizeof field, "%s", p_szValue);
  if (p_i32Width < static_cast<int32_t>(sizeof field)) {
    field[p_i32Width] = '\0';
  }
  std::strncat(p_szPrefix, field, p_uSize - std::strlen(p_szPrefix) - 1);
  std::strncat(p_szPrefix, kSeparator, p_uSize - std::strlen(p_szPrefix) - 1);
}

void BuildPrefix(const KTX_DebugLocation &p_roLocation, uint32_t p_u32Tick, char *p_szPrefix, size_t p_uSize) {
  p_szPrefix[0] = '\0';
  char value[128];
  if (kWidthSourceFile != 0) {
    const char *path = p_roLocation.szFile != nullptr ? p_roLocation.szFile : "";
    if (static_cast<int32_t>(std::strlen(path)) > kWidthSourceFile) {
      const char *cut = std::strrchr(path, '\\');
      if (cut == nullptr) {
        cut = std::strrchr(path, '/');
      }
      if (cut != nullptr) {
        path = cut + 1;
      }
    }
    std::snprintf(value, sizeof value, "%*s", kWidthSourceFile, path);
    AppendField(p_szPrefix, p_uSize, kWidthSourceFile, value);
  }
  if (kWidthSourceLine != 0) {
    std::snprintf(value, sizeof value, "%*d", kWidthSourceLine, p_roLocation.i32Line);
    AppendField(p_szPrefix, p_uSize, kWidthSourceLine, value);
  }
  const OsalLocalTime now = OsalGetLocalTime();
  if (kWidthDate != 0) {
    std::snprintf(value, sizeof value, "%04d %02d %02d", now.year, now.month, now.day);
    AppendField(p_szPrefix, p_uSize, kWidthDate, value);
  }
  if (kWidthTime != 0) {
    std::snprintf(value, sizeof value, "%02d:%02d:%02d", now.hour, now.minute, now.second);
    AppendField(p_szPrefix, p_uSize, kWidthTime, value);
  }
  if (kWidthTickDelta != 0) {
    std::snprintf(value, sizeof value, "%*d", kWidthTickDelta,
                  static_cast<int32_t>(p_u32Tick - g_u32PreviousTick.load(std::memory_order_relaxed)));
    AppendField(p_szPrefix, p_uSize, kWidthTickDelta, value);
  }
  if (kWidthThreadId != 0) {
    std::snprintf(value, sizeof value, "%0*x", kWidthThreadId, OsalGetCurrentThreadId());
    AppendField(p_szPrefix, p_uSize, kWidthThreadId, value);
  }
  if (kWidthThreadName != 0) {
    const char *name = g_pfnThreadName != nullptr ? g_pfnThreadName() : "Unknown Thread";
    std::snprintf(value, sizeof value, "%*s", kWidthThreadName, name);
    AppendField(p_szPrefix, p_uSize, kWidthThreadName, value);
  }
}

// A format cut at a fixed length must not end inside a conversion: drop a
// trailing unpaired '%' so the formatter never sees a dangling specifier.
void DropDanglingPercent(char *p_szFormat) {
  size_t n = std::strlen(p_szFormat);
  size_t run = 0;
  while (run < n && p_szFormat[n - 1 - run] == '%') {
    ++run;
  }
  if (run % 2 == 1) {
    p_szFormat[n - 1] = '\0';
  }
}

} // namespace

bool DebugLevelEnabled(int32_t p_i32Level) {
  return p_i32Level >= 0 && p_i32Level < 13 && kLevelEnabled[p_i32Level];
}

void DebugPrint(const KTX_DebugLocation &p_roLocation, int32_t p_i32Level, const char *p_szFormat, ...) {
  if (!DebugLevelEnabled(p_i32Level)) {
    return;
  }
  const uint32_t tick = OsalGetTickCount();
  bool expected = true;
  if (g_bFirstLine.compare_exchange_strong(expected, false)) {
    g_u32PreviousTick.store(tick, std::memory_order_relaxed);
  }
  char prefix[512];
  BuildPrefix(p_roLocation, tick, prefix, sizeof prefix);

  // The prefix becomes part of the format, as the caller's format follows it.
  char lineFormat[256];
  std::snprintf(lineFormat, sizeof lineFormat, "%s %s%s", kLevelLabels[p_i32Level], prefix,
                p_szFormat != nullptr ? p_szFormat : "");
  DropDanglingPercent(lineFormat);

  char text[512];
  va_list args;
  va_start(args, p_szFormat);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::vsnprintf(text, sizeof text, lineFormat, args);
#pragma GCC diagnostic pop
  va_end(args);

  KTX_DebugLog *log = GetDebugLog();
  if (log != nullptr) {
    KTX_DebugString *line = new KTX_DebugString();
    line->AddSequenceNumber();
    line->Append(": ");
    line->Append(text);
    log->AddLine(*line);
    line->Delete();
  }
  g_u32PreviousTick.store(tick, std::memory_order_relaxed);
  if (p_i32Level == KTX_FATAL && kBreakOnFatal) {
    OsalDebugBreak();
  }
}

KTX_DebugLog::KTX_DebugLog() : KTX_BaseClass(KTX_BASE_CLASS_DEBUG_LOG) {
  // The log lives until after the leak report is written at exit; it is not a leak.
  ExcludeFromLeakReport();
}

KTX_DebugLog::~KTX_DebugLog() = default;

void KTX_DebugLog::Delete() {
  {
    std::lock_guard<std::mutex> guard(g_singletonMutex);
    if (g_poLog.load() == this) {
      g_poLog.store(nullptr);
      g_bLogClosed.store(true);
    }
  }
  {
    std::lock_guard<std::mutex> guard(g_nameMutex);
    g_bNameSet = false;
    g_szFileName[0] = '\0';
  }
  KTX_BaseClass::Delete();
}

void KTX_DebugLog::AddLine(KTX_DebugString &p_roLine) {
  KTX_ClassLockGuard guard(KTX_BASE_CLASS_DEBUG_LOG);
  char name[sizeof g_szFileName];
  bool first = false;
  uint32_t generation = 0;
  {
    std::lock_guard<std::mutex> nameGuard(g_nameMutex);
    std::snprintf(name, sizeof name, "%s", g_bNameSet ? g_szFileName : kDefaultFileName);
    first = g_bFirstWrite;
    generation = g_u32NameGeneration;
  }
  const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (first ? (O_CREAT | O_TRUNC) : 0);
  const int fd = ::open(name, flags, 0644);
  if (fd >= 0) {
    char out[KTX_DebugString::c_i32Capacity + 3];
    const int32_t n = p_roLine.GetLength();
    std::memcpy(out, p_roLine.GetText(), static_cast<size_t>(n));
    out[n] = '\r';
    out[n + 1] = '\n';
    // One write per line so that lines never interleave within the file.
    ssize_t written = ::write(fd, out, static_cast<size_t>(n) + 2);
    (void)written;
    ::close(fd);
  }
  std::lock_guard<std::mutex> nameGuard(g_nameMutex);
  if (generation == g_u32NameGeneration) {
    g_bFirstWrite = false;
  }
}

KTX_DebugLog *GetDebugLog() {
  KTX_DebugLog *log = g_poLog.load();
  if (log != nullptr || g_bLogClosed.load()) {
    return log;
  }
  std::lock_guard<std::mutex> guard(g_singletonMutex);
  log = g_poLog.load();
  if (log == nullptr && !g_bLogClosed.load()) {
    log = new KTX_DebugLog();
    g_poLog.store(log);
  }
  return log;
}

void SetLogFileName(const char *p_szName) {
  {
    std::lock_guard<std::mutex> guard(g_nameMutex);
    std::snprintf(g_szFileName, sizeof g_szFileName, "%s", p_szName != nullptr ? p_szName : kDefaultFileName);
    g_bNameSet = p_szName != nullptr;
    // A newly named file is recreated by its first line.
    g_bFirstWrite = true;
    ++g_u32NameGeneration;
  }
  // A log closed at an earlier exit opens again (a process may run start-up more than once).
  g_bLogClosed.store(false);
}

const char *GetLogFileName() {
  thread_local char name[sizeof g_szFileName];
  std::lock_guard<std::mutex> guard(g_nameMutex);
  std::snprintf(name, sizeof name, "%s", g_bNameSet ? g_szFileName : kDefaultFileName);
  return name;
}

void SetDebugThreadNameProvider(const char *(*p_pfnProvider)()) { g_pfnThreadName = p_pfnProvider; }
