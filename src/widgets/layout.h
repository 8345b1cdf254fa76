#pragma once

// The per-axis layout rules: how a parent sizes and places a child along one
// axis from the child's anchor mode, its two margins and its preferred size,
// and how much the child asks of the parent's measure. All results are
// integers; arithmetic runs in 64 bits and saturates into 32, so no margin
// or size, however large, wraps around.

#include <cstdint>
#include <string_view>

namespace lv {

enum class AnchorMode : int32_t {
  min_side = 0,
  both_side = 1,
  max_side = 2,
  ratio = 3,
  center = 4,
  min_side_no_size = 5,
  max_side_no_size = 6,
  both_side_no_size = 7,
};

// Per axis: the preferred size, then the minimum size.
struct SizeRange {
  int32_t preferred = 0;
  int32_t minimum = 0;
  friend constexpr bool operator==(const SizeRange&, const SizeRange&) = default;
};

// "MIN_SIDE" ... "BOTH_SIDE_NO_SIZE", letter case included; anything else
// (an empty string too) gives both_side.
AnchorMode anchor_mode_from_name(std::u16string_view name);
std::u16string_view anchor_mode_name(AnchorMode mode);

// Whether a child of this mode adds to its parent's measure.
constexpr bool counts_in_measure(AnchorMode mode) {
  return mode != AnchorMode::min_side_no_size && mode != AnchorMode::max_side_no_size &&
         mode != AnchorMode::both_side_no_size;
}

// The child's size along the axis in a parent of size `parent`, never
// negative.
int32_t anchor_size(AnchorMode mode, int32_t parent, int32_t border_min, int32_t preferred,
                    int32_t border_max);
// The child's offset from the parent's start, given the size just computed.
int32_t anchor_offset(AnchorMode mode, int32_t parent, int32_t border_min, int32_t size,
                      int32_t border_max);
// What the child asks of the parent's measure: both margins and the
// preferred size, or 0 for the *_NO_SIZE modes.
int32_t anchor_need(AnchorMode mode, int32_t border_min, int32_t preferred, int32_t border_max);

// Cut into the 32-bit range.
constexpr int32_t clamp_to_int32(int64_t value) {
  return value < INT32_MIN   ? INT32_MIN
         : value > INT32_MAX ? INT32_MAX
                             : static_cast<int32_t>(value);
}

}  // namespace lv
