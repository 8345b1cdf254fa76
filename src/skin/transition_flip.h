#pragma once

// "flip": the element turns over about its horizontal centre line, seen in
// perspective. The outgoing picture is on the front face, the incoming one
// on the back; the turn is t x pi, so the back comes into view once the
// plane has passed edge-on at t = 0.5.

#include "skin/transition.h"

namespace lv {

class FlipTransition final : public Transition {
 public:
  FlipTransition();

  std::unique_ptr<Transition> clone() const override;
  TransitionKind kind() const override { return TransitionKind::flip; }
  void draw(Canvas& canvas, Point position) const override;

 private:
  void prepare() override;

  // Distance from the eye to the plane of the element, in pixels.
  double m_eye_distance = 1.0;
};

}  // namespace lv
