#include "widgets/list_motion.h"

#include <algorithm>
#include <cmath>

namespace lv::list_motion {

double fling_velocity(double stroke_velocity) {
  if (std::isnan(stroke_velocity)) return 0;
  return std::clamp(stroke_velocity, -kMaxFlingSpeed, kMaxFlingSpeed);
}

double decelerate(double velocity, double seconds, bool braking) {
  double f = 2.0 * std::fabs(velocity) + 9.0;
  if (braking) f *= kBrakeFactor;
  const double step = f * seconds;
  if (velocity > 0) return std::max(0.0, velocity - step);
  if (velocity < 0) return std::min(0.0, velocity + step);
  return 0;
}

double spring_at_top(double velocity, double over, double seconds) {
  if (velocity <= 0 || over <= 0) return velocity;
  return std::max(0.0, velocity - (over + 1.0) * kSpringStiffness * seconds);
}

double spring_at_bottom(double velocity, double rest, double seconds) {
  if (velocity >= 0 || rest <= 0) return velocity;
  return std::min(0.0, velocity + (rest + 1.0) * kSpringStiffness * seconds);
}

double rubber_band_factor(double overshoot, int32_t list_height) {
  if (overshoot <= 0) return 1.0;
  if (list_height <= 0) return 0.0;
  return std::max(0.0, 1.0 - 2.0 * overshoot / list_height);
}

double move_towards(double value, double target, double max_step) {
  if (value < target) return std::min(target, value + max_step);
  if (value > target) return std::max(target, value - max_step);
  return value;
}

}  // namespace lv::list_motion
