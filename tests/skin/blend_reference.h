#pragma once

// The row blitters' per-pixel rules exactly as the blitter table states
// them, one branch per line of the table, and a spread of pixels to try
// them on.

#include <cstdint>
#include <random>
#include <vector>

namespace lv::test {

inline constexpr uint16_t kKey = 0xF81F;

inline uint16_t u16(uint32_t v) {
  return static_cast<uint16_t>(v);
}

inline uint16_t copy_rule(uint16_t s, uint16_t) {
  return s;
}
inline uint16_t key_rule(uint16_t s, uint16_t d) {
  return s == kKey ? d : s;
}
inline uint16_t key_quarter_rule(uint16_t s, uint16_t d) {
  if (s == kKey) return d;
  if (s & 0x20) return s;
  return u16(s + ((d & 0xE79F) >> 2));
}
inline uint16_t key_half_rule(uint16_t s, uint16_t d) {
  if (s == kKey) return d;
  if (s & 0x20) return s;
  return u16(s + ((d & 0xF7DF) >> 1));
}
inline uint16_t key_three_quarter_rule(uint16_t s, uint16_t d) {
  if (s == kKey) return d;
  if (s & 0x20) return s;
  const uint16_t h = u16((d & 0xF7DF) >> 1);
  return u16(s + h + ((h & 0xF7DF) >> 1));
}
inline uint16_t opaque_only_rule(uint16_t s, uint16_t d) {
  return (s != kKey && (s & 0x20)) ? s : d;
}
inline uint16_t changed_pixel_rule(uint16_t s, uint16_t d) {
  return s == d ? s : u16(s | 0x20);
}
inline uint16_t accumulate_rule(uint32_t flags, uint16_t s, uint16_t d) {
  if (s == kKey) return kKey;
  if (s & 0x20) return u16(d | 0x20);
  uint16_t r = s;
  if (flags & 0x100) r = u16(r + d);
  if (flags & 0x80) r = u16(r + ((d & 0xF7DF) >> 1));
  if (flags & 0x40) r = u16(r + ((((d & 0xF7DF) >> 1) & 0xF7DF) >> 1));
  return r;
}

// Key, key with bit 5, bit 5 set and clear, channel extremes, values whose
// sums carry between channels, and some random ones.
inline std::vector<uint16_t> pixel_spread() {
  std::vector<uint16_t> v = {0x0000, 0xFFFF, kKey,   0xF83F, 0xF81E, 0x0020, 0xFFDF,
                             0x07E0, 0x07C0, 0x001F, 0xF800, 0x7BEF, 0x8410, 0x0841,
                             0x1082, 0xA534, 0x5ACB, 0x0001, 0x0800, 0x39E7};
  std::mt19937 rng(565);
  for (int i = 0; i < 44; ++i) v.push_back(u16(rng()));
  return v;
}

}  // namespace lv::test
