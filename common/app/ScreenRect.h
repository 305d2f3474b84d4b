#pragma once
// Window and monitor rectangles in screen pixels, and placing a saved window
// rectangle back onto a monitor.

#include <cstdint>
#include <vector>

struct KTX_ScreenRect {
  int32_t i32Left;
  int32_t i32Top;
  int32_t i32Right;
  int32_t i32Bottom;
  bool operator==(const KTX_ScreenRect &) const = default;
};

// Moves p_oRect at its size onto the monitor nearest to it (the one it overlaps
// most, else the closest): left = max(mon.left, min(mon.right - w, left)), and
// the same for top. Without monitors the rectangle is returned unchanged.
KTX_ScreenRect ClipRectToMonitor(const KTX_ScreenRect &p_oRect, const std::vector<KTX_ScreenRect> &p_roMonitors);
