#include "app/frame_clock.h"

#include <algorithm>

namespace lv {

std::optional<double> FrameClock::advance(uint32_t now, TickKind kind) {
  if (now == m_last && kind == TickKind::forced) return std::nullopt;
  // Unsigned difference: the tick counter wraps after 49.7 days.
  const double dt = static_cast<uint32_t>(now - m_last) * 0.001;
  m_last = now;
  return std::clamp(dt, kMinStep, kMaxStep);
}

}  // namespace lv
