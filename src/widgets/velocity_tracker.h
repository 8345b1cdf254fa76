#pragma once

// The stylus velocity behind kinetic scrolling: a short window of the latest
// pointer samples, in pixels per second. Moves count only once the stylus
// has left the press point by the slop distance, so a tap never gives a
// velocity. The velocity points against the stylus motion (a downward
// stroke gives a negative y), as the scrolling list and the picture viewer
// want it.

#include <cstdint>
#include <deque>

#include "base/input.h"

namespace lv {

class VelocityTracker {
 public:
  static constexpr int32_t kSlopPixels = 10;
  static constexpr size_t kMaxSamples = 25;
  static constexpr uint32_t kWindowMs = 251;
  static constexpr uint32_t kMinSpanMs = 50;

  struct Sample {
    int32_t x = 0;
    int32_t y = 0;
    uint32_t time = 0;
  };

  // A press starts a new stroke.
  void press(const PointerEvent& event);
  // A move or the release of the stroke; false when it was not recorded
  // (still within the slop distance, or the stylus is up).
  bool move(const PointerEvent& event);
  bool release(const PointerEvent& event);
  // The stroke ends without a position (the window lost the capture): no
  // sample, no velocity.
  void cancel();
  // Time held still: grows while the stylus is down and has not moved.
  void advance(double seconds);

  bool down() const { return m_down; }
  // True once the stylus has gone past the slop distance in this stroke.
  bool moved() const { return m_held_seconds < 0; }
  double held_seconds() const { return m_held_seconds; }
  double velocity_x() const { return m_velocity_x; }
  double velocity_y() const { return m_velocity_y; }
  const PointerEvent& press_event() const { return m_press; }
  const std::deque<Sample>& samples() const { return m_samples; }
  // How far the last recorded sample lies from the one recorded before it
  // (the window may have dropped that one already); (0, 0) before a move.
  int32_t last_dx() const { return m_last_dx; }
  int32_t last_dy() const { return m_last_dy; }

 private:
  void record(const PointerEvent& event);

  PointerEvent m_press;
  double m_velocity_x = 0;
  double m_velocity_y = 0;
  double m_held_seconds = 0;
  bool m_down = false;
  std::deque<Sample> m_samples;
  Sample m_latest;
  int32_t m_last_dx = 0;
  int32_t m_last_dy = 0;
};

}  // namespace lv
