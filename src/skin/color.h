#pragma once

// A skin colour: red, green, blue and alpha bytes in this order. Colours read
// from a skin always carry alpha 255; callers' defaults keep what they give.

#include <cstdint>

namespace lv {

struct Color {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 255;
  friend constexpr bool operator==(const Color&, const Color&) = default;
};

}  // namespace lv
