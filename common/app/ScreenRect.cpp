#include "app/ScreenRect.h"

#include <algorithm>
#include <limits>

namespace {

int64_t Overlap(const KTX_ScreenRect &a, const KTX_ScreenRect &b) {
  const int64_t w = std::min<int64_t>(a.i32Right, b.i32Right) - std::max<int64_t>(a.i32Left, b.i32Left);
  const int64_t h = std::min<int64_t>(a.i32Bottom, b.i32Bottom) - std::max<int64_t>(a.i32Top, b.i32Top);
  return (w > 0 && h > 0) ? w * h : 0;
}

// Squared distance between the rectangles (0 when they touch or overlap).
int64_t Distance(const KTX_ScreenRect &a, const KTX_ScreenRect &b) {
  const int64_t dx = std::max<int64_t>({0, int64_t(b.i32Left) - a.i32Right, int64_t(a.i32Left) - b.i32Right});
  const int64_t dy = std::max<int64_t>({0, int64_t(b.i32Top) - a.i32Bottom, int64_t(a.i32Top) - b.i32Bottom});
  return dx * dx + dy * dy;
}

} // namespace

KTX_ScreenRect ClipRectToMonitor(const KTX_ScreenRect &p_oRect, const std::vector<KTX_ScreenRect> &p_roMonitors) {
  if (p_roMonitors.empty()) {
    return p_oRect;
  }
  const KTX_ScreenRect *best = &p_roMonitors.front();
  int64_t bestOverlap = -1;
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (const KTX_ScreenRect &m : p_roMonitors) {
    const int64_t overlap = Overlap(p_oRect, m);
    const int64_t distance = Distance(p_oRect, m);
    if (overlap > bestOverlap || (overlap == 0 && bestOverlap == 0 && distance < bestDistance)) {
      best = &m;
      bestOverlap = overlap;
      bestDistance = distance;
    }
  }
  const int64_t w = int64_t(p_oRect.i32Right) - p_oRect.i32Left;
  const int64_t h = int64_t(p_oRect.i32Bottom) - p_oRect.i32Top;
  const int64_t left = std::max<int64_t>(best->i32Left, std::min<int64_t>(best->i32Right - w, p_oRect.i32Left));
  const int64_t top = std::max<int64_t>(best->i32Top, std::min<int64_t>(best->i32Bottom - h, p_oRect.i32Top));
  return KTX_ScreenRect{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(left + w),
                        static_cast<int32_t>(top + h)};
}
