#pragma once

// Dimming changes pixels in place: every pixel d of a span becomes about
// d * k / 16 for a level k from 0 (black) to 16 (unchanged). Each level is
// its own routine of shifts and channel-safe masks working on two pixels per
// 32-bit word.

#include <cstdint>

namespace lv {

class Dimming {
 public:
  static constexpr int32_t kLevels = 17;

  // Level clamped to 0..16.
  explicit Dimming(int32_t level);
  // From an alpha value: k = clamp((alpha + 8) / 16, 0, 16), truncating, so
  // 128 is half brightness and 255 leaves pixels as they are.
  static Dimming from_alpha(int32_t alpha);

  int32_t level() const { return m_level; }
  void apply(uint16_t* begin, uint16_t* end) const { m_routine(begin, end); }

  // The level's rule for one pixel (the 16-bit form the routines use at the
  // ends of a span).
  static uint16_t dim_pixel(int32_t level, uint16_t p);

 private:
  using Routine = void (*)(uint16_t*, uint16_t*);

  int32_t m_level;
  Routine m_routine;
};

}  // namespace lv
