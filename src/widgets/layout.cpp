#include "widgets/layout.h"

#include <algorithm>
#include <array>

namespace lv {

namespace {

constexpr std::array<std::u16string_view, 8> kAnchorNames = {
    u"MIN_SIDE", u"BOTH_SIDE",        u"MAX_SIDE",         u"RATIO",
    u"CENTER",   u"MIN_SIDE_NO_SIZE", u"MAX_SIDE_NO_SIZE", u"BOTH_SIDE_NO_SIZE"};

int64_t at_least_zero(int64_t value) {
  return std::max<int64_t>(value, 0);
}

}  // namespace

AnchorMode anchor_mode_from_name(std::u16string_view name) {
  for (size_t i = 0; i < kAnchorNames.size(); ++i)
    if (kAnchorNames[i] == name) return static_cast<AnchorMode>(i);
  return AnchorMode::both_side;
}

std::u16string_view anchor_mode_name(AnchorMode mode) {
  const auto index = static_cast<size_t>(mode);
  return index < kAnchorNames.size() ? kAnchorNames[index] : kAnchorNames[1];
}

int32_t anchor_size(AnchorMode mode, int32_t parent, int32_t border_min, int32_t preferred,
                    int32_t border_max) {
  const int64_t p = parent;
  const int64_t inner = p - border_min - border_max;
  int64_t size = 0;
  switch (mode) {
    case AnchorMode::min_side:
      size = std::min<int64_t>(p - border_min, preferred);
      break;
    case AnchorMode::max_side:
      size = std::min<int64_t>(p - border_max, preferred);
      break;
    case AnchorMode::ratio:
    case AnchorMode::center:
      size = std::min<int64_t>(inner, preferred);
      break;
    case AnchorMode::min_side_no_size:
    case AnchorMode::max_side_no_size:
      size = preferred;
      break;
    case AnchorMode::both_side:
    case AnchorMode::both_side_no_size:
    default:
      size = inner;
      break;
  }
  return clamp_to_int32(at_least_zero(size));
}

int32_t anchor_offset(AnchorMode mode, int32_t parent, int32_t border_min, int32_t size,
                      int32_t border_max) {
  const int64_t p = parent;
  switch (mode) {
    case AnchorMode::max_side:
    case AnchorMode::max_side_no_size:
      return clamp_to_int32(at_least_zero(p - size - border_max));
    case AnchorMode::center: {
      // Truncating toward zero, as C++ division does.
      const int64_t t = (p - border_min - border_max - size) / 2;
      return clamp_to_int32(int64_t{border_min} + at_least_zero(t));
    }
    default:
      return border_min;
  }
}

int32_t anchor_need(AnchorMode mode, int32_t border_min, int32_t preferred, int32_t border_max) {
  if (!counts_in_measure(mode)) return 0;
  return clamp_to_int32(int64_t{border_min} + preferred + border_max);
}

}  // namespace lv
