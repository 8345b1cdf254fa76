#include "widgets/velocity_tracker.h"

#include <cstdlib>

namespace lv {

void VelocityTracker::press(const PointerEvent& event) {
  m_press = event;
  m_velocity_x = 0;
  m_velocity_y = 0;
  m_held_seconds = 0;
  m_samples.clear();
  m_latest = {event.x, event.y, event.time};
  m_samples.push_back(m_latest);
  m_last_dx = 0;
  m_last_dy = 0;
  m_down = true;
}

bool VelocityTracker::move(const PointerEvent& event) {
  if (!m_down) return false;
  if (!moved()) {
    const int64_t dx = std::llabs(int64_t{event.x} - m_press.x);
    const int64_t dy = std::llabs(int64_t{event.y} - m_press.y);
    if (dx < kSlopPixels && dy < kSlopPixels) return false;
    m_held_seconds = -1;
  }
  record(event);
  return true;
}

bool VelocityTracker::release(const PointerEvent& event) {
  const bool recorded = move(event);
  m_down = false;
  return recorded;
}

void VelocityTracker::cancel() {
  m_down = false;
  m_velocity_x = 0;
  m_velocity_y = 0;
}

void VelocityTracker::advance(double seconds) {
  if (m_down && m_held_seconds >= 0) m_held_seconds += seconds;
}

void VelocityTracker::record(const PointerEvent& event) {
  const Sample sample{event.x, event.y, event.time};
  m_last_dx = static_cast<int32_t>(int64_t{sample.x} - m_latest.x);
  m_last_dy = static_cast<int32_t>(int64_t{sample.y} - m_latest.y);
  m_latest = sample;
  m_samples.push_back(sample);
  if (m_samples.size() > kMaxSamples) m_samples.pop_front();
  // Unsigned differences: the millisecond tick may wrap during a stroke.
  while (m_samples.size() > 1 && sample.time - m_samples.front().time >= kWindowMs)
    m_samples.pop_front();
  const Sample& oldest = m_samples.front();
  const uint32_t span = sample.time - oldest.time;
  if (span < kMinSpanMs) {
    m_velocity_x = 0;
    m_velocity_y = 0;
    return;
  }
  m_velocity_x = double((int64_t{oldest.x} - sample.x) * 1000 / int64_t{span});
  m_velocity_y = double((int64_t{oldest.y} - sample.y) * 1000 / int64_t{span});
}

}  // namespace lv
