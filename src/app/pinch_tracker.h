#pragma once

// Fingers on a touch screen made into pinch gestures. The fingers are told
// by their identity (touch device and finger), in window pixels. When a
// second finger goes down the first two fingers on the screen begin a
// pinch; every move of either gives a move, and the lift of either ends it.
// Further fingers change nothing. Scale and movement are measured from the
// gesture's previous event, so a handler multiplies and adds them up.
//
// SDL also makes a stylus of the first finger. From the begin of a pinch
// until the last finger is lifted that stylus is not the user's: the window
// asks stylus_suppressed() and drops it.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/input.h"

namespace lv {

class PinchTracker {
 public:
  std::optional<PinchEvent> down(int64_t device, int64_t finger, double x, double y, uint32_t time);
  std::optional<PinchEvent> move(int64_t device, int64_t finger, double x, double y, uint32_t time);
  std::optional<PinchEvent> up(int64_t device, int64_t finger, double x, double y, uint32_t time);
  // Forgets every finger (the window lost them); the end of a running pinch.
  std::optional<PinchEvent> cancel(uint32_t time);

  bool pinching() const { return m_pinching; }
  bool stylus_suppressed() const { return m_suppress_stylus; }
  size_t fingers_down() const { return m_fingers.size(); }

 private:
  struct Finger {
    int64_t device = 0;
    int64_t id = 0;
    double x = 0;
    double y = 0;
  };

  Finger* find(int64_t device, int64_t finger);
  bool in_pinch(const Finger& finger) const;
  // The gesture's next event from the two fingers' positions now.
  PinchEvent step(PinchEvent::Phase phase, uint32_t time);

  std::vector<Finger> m_fingers;  // in the order they went down
  bool m_pinching = false;
  bool m_suppress_stylus = false;
  Finger m_first;  // the identities of the pinch's two fingers
  Finger m_second;
  double m_distance = 0;  // at the previous event
  double m_centre_x = 0;
  double m_centre_y = 0;
};

}  // namespace lv
