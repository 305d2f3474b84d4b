#pragma once
// Time and thread identity of the platform layer.
//
// The tick is a 32-bit millisecond count that wraps like the original platform's
// tick count. Tests can install a clock of their own so that time-outs and retries
// run in milliseconds instead of seconds; the program always uses the real one.

#include <cstdint>

// Milliseconds from CLOCK_MONOTONIC, truncated to 32 bits (or the installed test clock).
uint32_t OsalGetTickCount();

// A replacement tick source for tests; nullptr restores the real clock.
using OsalTickSource = uint32_t (*)();
void OsalSetTickSource(OsalTickSource p_pfnSource);

// A clock for tests that runs p_u32Factor times faster than real time, so that
// time-outs of seconds pass in milliseconds; 0 or 1 restores the real clock.
// Waits that are computed from tick differences are shortened by the same
// factor through OsalTicksToRealMs.
void OsalSetTestClockSpeed(uint32_t p_u32Factor);
// Real milliseconds to wait for p_i32Ticks ticks of the current clock (at least
// 1 for a positive count).
int32_t OsalTicksToRealMs(int32_t p_i32Ticks);

// Sleep the calling thread for the given number of real milliseconds.
void OsalSleep(uint32_t p_u32Milliseconds);

// The platform id of the calling thread (gettid()).
uint32_t OsalGetCurrentThreadId();

// Broken-down local time, as the log prefix and clocks need it.
struct OsalLocalTime {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;
};
OsalLocalTime OsalGetLocalTime();
// The same in UTC (the platform's "system time").
OsalLocalTime OsalGetSystemTime();

// Break into an attached debugger; does nothing when no debugger is attached.
void OsalDebugBreak();
