#pragma once

// The screen information record: what the program knows of its screen. The
// application fills it from the window and the display; the skin takes its
// scale from the vertical dots per inch.

#include <cstdint>

namespace lv {

struct ScreenInfo {
  int32_t width = 0;
  int32_t height = 0;
  int32_t work_left = 0;
  int32_t work_top = 0;
  int32_t work_width = 0;
  int32_t work_height = 0;
  // Quarter turns of the display; 4 before it is known.
  int32_t orientation = 4;
  int32_t dpi = 96;  // vertical dots per inch

  friend constexpr bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

// The skin scale for a vertical resolution: 0 below 192 dots per inch, 1 up
// to 383, 2 from 384.
constexpr int32_t skin_scale_for_dpi(int32_t dpi) {
  return dpi >= 384 ? 2 : dpi >= 192 ? 1 : 0;
}

}  // namespace lv
