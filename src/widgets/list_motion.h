#pragma once

// The kinetics of the scrolling list, as plain functions of the velocity
// (pixels per second, positive downwards), the overshoot past an end
// (pixels) and the elapsed time (seconds). All motion is time based, so the
// feel does not depend on the frame rate.

#include <cstdint>

namespace lv::list_motion {

inline constexpr double kMaxFlingSpeed = 2000.0;
inline constexpr double kSettleSpeed = 400.0;
inline constexpr double kSlideSpeed = 200.0;  // rows opening or shrinking away
inline constexpr double kSpringStiffness = 50.0;
inline constexpr double kBrakeFactor = 5.0;  // while the stylus is down

// The release velocity of a stroke, clamped to the fastest fling.
double fling_velocity(double stroke_velocity);

// Friction: 2 |v| + 9 px/s², `kBrakeFactor` times that while braking; the
// velocity never crosses 0.
double decelerate(double velocity, double seconds, bool braking);

// The spring at an end pulls against a velocity that carries the rows
// further past it: by (overshoot + 1) x 50 per second, never past 0. A
// velocity already heading back, or no overshoot, is left alone.
double spring_at_top(double velocity, double over, double seconds);
double spring_at_bottom(double velocity, double rest, double seconds);

// How much of a drag past an end moves the rows: less and less, nothing
// once the overshoot is half the list height.
double rubber_band_factor(double overshoot, int32_t list_height);

// The value moved towards the target by at most max_step.
double move_towards(double value, double target, double max_step);

}  // namespace lv::list_motion
