#include "runtime/OsalTime.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<OsalTickSource> g_tickSource{nullptr};
std::atomic<uint32_t> g_u32Speed{1};
std::atomic<uint64_t> g_u64SpeedOrigin{0};

uint64_t RealMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint32_t AcceleratedTick() {
  const uint64_t origin = g_u64SpeedOrigin.load(std::memory_order_acquire);
  const uint64_t elapsed = RealMs() - origin;
  return static_cast<uint32_t>(origin + elapsed * g_u32Speed.load(std::memory_order_acquire));
}

OsalLocalTime FromTm(const std::tm &t) {
  return OsalLocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

bool DebuggerAttached() {
  // /proc/self/status carries "TracerPid:\t<pid>"; non-zero means a tracer is attached.
  std::FILE *f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) {
    return false;
  }
  char line[256];
  bool attached = false;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      attached = std::atoi(line + 10) != 0;
      break;
    }
  }
  std::fclose(f);
  return attached;
}

} // namespace

uint32_t OsalGetTickCount() {
  OsalTickSource source = g_tickSource.load(std::memory_order_acquire);
  if (source != nullptr) {
    return source();
  }
  return static_cast<uint32_t>(RealMs());
}

void OsalSetTickSource(OsalTickSource p_pfnSource) { g_tickSource.store(p_pfnSource, std::memory_order_release); }

void OsalSetTestClockSpeed(uint32_t p_u32Factor) {
  if (p_u32Factor <= 1) {
    g_u32Speed.store(1, std::memory_order_release);
    OsalSetTickSource(nullptr);
    return;
  }
  // The accelerated clock starts at the real tick, so it never jumps backwards.
  g_u64SpeedOrigin.store(RealMs(), std::memory_order_release);
  g_u32Speed.store(p_u32Factor, std::memory_order_release);
  OsalSetTickSource(&AcceleratedTick);
}

int32_t OsalTicksToRealMs(int32_t p_i32Ticks) {
  if (p_i32Ticks <= 0) {
    return 0;
  }
  const uint32_t speed = g_tickSource.load(std::memory_order_acquire) == &AcceleratedTick
                             ? g_u32Speed.load(std::memory_order_acquire)
                             : 1u;
  const int32_t real = static_cast<int32_t>((static_cast<uint32_t>(p_i32Ticks) + speed - 1) / speed);
  return real < 1 ? 1 : real;
}

void OsalSleep(uint32_t p_u32Milliseconds) {
  timespec ts{static_cast<time_t>(p_u32Milliseconds / 1000), static_cast<long>(p_u32Milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

uint32_t OsalGetCurrentThreadId() {
  thread_local uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
  return id;
}

OsalLocalTime OsalGetLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return FromTm(t);
}

OsalLocalTime OsalGetSystemTime() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  gmtime_r(&now, &t);
  return FromTm(t);
}

void OsalDebugBreak() {
  if (DebuggerAttached()) {
    std::raise(SIGTRAP);
  }
}
