#include "app/pinch_tracker.h"

#include <algorithm>
#include <cmath>

namespace lv {

namespace {

// More fingers than hands have are not followed.
constexpr size_t kMaxFingers = 10;
// Two fingers on one spot are this far apart, so that a scale never divides
// by zero; the scales of a gesture still multiply to its whole change.
constexpr double kMinDistance = 1.0;

bool same(const auto& a, int64_t device, int64_t id) {
  return a.device == device && a.id == id;
}

}  // namespace

PinchTracker::Finger* PinchTracker::find(int64_t device, int64_t finger) {
  for (Finger& known : m_fingers)
    if (same(known, device, finger)) return &known;
  return nullptr;
}

bool PinchTracker::in_pinch(const Finger& finger) const {
  return m_pinching &&
         (same(m_first, finger.device, finger.id) || same(m_second, finger.device, finger.id));
}

PinchEvent PinchTracker::step(PinchEvent::Phase phase, uint32_t time) {
  const double centre_x = (m_first.x + m_second.x) / 2;
  const double centre_y = (m_first.y + m_second.y) / 2;
  const double distance =
      std::max(std::hypot(m_first.x - m_second.x, m_first.y - m_second.y), kMinDistance);
  PinchEvent event;
  event.phase = phase;
  event.x = centre_x;
  event.y = centre_y;
  event.time = time;
  if (phase != PinchEvent::Phase::begin) {
    event.scale = distance / m_distance;
    event.dx = centre_x - m_centre_x;
    event.dy = centre_y - m_centre_y;
  }
  m_distance = distance;
  m_centre_x = centre_x;
  m_centre_y = centre_y;
  return event;
}

std::optional<PinchEvent> PinchTracker::down(int64_t device, int64_t finger, double x, double y,
                                             uint32_t time) {
  // A second down of a finger already down only says where it is.
  if (find(device, finger)) return move(device, finger, x, y, time);
  if (m_fingers.size() >= kMaxFingers) return std::nullopt;
  m_fingers.push_back({device, finger, x, y});
  if (m_pinching || m_fingers.size() != 2) return std::nullopt;
  m_first = m_fingers[0];
  m_second = m_fingers[1];
  m_pinching = true;
  m_suppress_stylus = true;
  return step(PinchEvent::Phase::begin, time);
}

std::optional<PinchEvent> PinchTracker::move(int64_t device, int64_t finger, double x, double y,
                                             uint32_t time) {
  Finger* known = find(device, finger);
  if (!known) return std::nullopt;
  known->x = x;
  known->y = y;
  if (!in_pinch(*known)) return std::nullopt;
  (same(m_first, device, finger) ? m_first : m_second) = *known;
  return step(PinchEvent::Phase::move, time);
}

std::optional<PinchEvent> PinchTracker::up(int64_t device, int64_t finger, double x, double y,
                                           uint32_t time) {
  Finger* known = find(device, finger);
  if (!known) return std::nullopt;
  std::optional<PinchEvent> end;
  if (in_pinch(*known)) {
    known->x = x;
    known->y = y;
    (same(m_first, device, finger) ? m_first : m_second) = *known;
    end = step(PinchEvent::Phase::end, time);
    m_pinching = false;
  }
  m_fingers.erase(m_fingers.begin() + (known - m_fingers.data()));
  if (m_fingers.empty()) m_suppress_stylus = false;
  return end;
}

std::optional<PinchEvent> PinchTracker::cancel(uint32_t time) {
  std::optional<PinchEvent> end;
  if (m_pinching) end = step(PinchEvent::Phase::end, time);
  m_pinching = false;
  m_suppress_stylus = false;
  m_fingers.clear();
  return end;
}

}  // namespace lv
