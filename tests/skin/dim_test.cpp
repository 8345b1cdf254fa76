#include "skin/dim.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lv {
namespace {

// The level table as written: p is the old pixel, terms per channel by the
// masks after the shift.
uint16_t table_rule(int k, uint16_t p) {
  const uint32_t d2 = (p >> 1) & 0x7BEF, d4 = (p >> 2) & 0x39E7, d8 = (p >> 3) & 0x18E3,
                 d16 = (p >> 4) & 0x0861, u = 0x0861;
  uint32_t r = 0;
  switch (k) {
    case 0:
      r = 0;
      break;
    case 1:
      r = d16;
      break;
    case 2:
      r = d8;
      break;
    case 3:
      r = d4 - d16;
      break;
    case 4:
      r = d4;
      break;
    case 5:
      r = d16 + d4 + u;
      break;
    case 6:
      r = d2 - d8;
      break;
    case 7:
      r = d2 - d16;
      break;
    case 8:
      r = d2;
      break;
    case 9:
      r = d16 + d2 + u;
      break;
    case 10:
      r = d8 + d2 + u;
      break;
    case 11:
      r = d16 + d8 + d2 + u;
      break;
    case 12:
      r = p - d4;
      break;
    case 13:
      r = p - d4 + d16;
      break;
    case 14:
      r = p - d8;
      break;
    case 15:
      r = p - d16;
      break;
    case 16:
      r = p;
      break;
  }
  return static_cast<uint16_t>(r);
}

std::vector<uint16_t> every_pixel() {
  std::vector<uint16_t> v(65536);
  for (uint32_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint16_t>(i * 40503u);
  return v;
}

TEST(Dimming, EveryLevelMatchesItsTableRowForEveryPixel) {
  const std::vector<uint16_t> original = every_pixel();
  for (int k = 0; k < Dimming::kLevels; ++k) {
    // The vector's storage is aligned, so +1 starts off the word grid.
    for (int offset : {0, 1}) {
      std::vector<uint16_t> pixels = original;
      Dimming(k).apply(pixels.data() + offset, pixels.data() + pixels.size());
      for (int i = 0; i < offset; ++i) ASSERT_EQ(pixels[i], original[i]);
      for (size_t i = offset; i < pixels.size(); ++i)
        ASSERT_EQ(pixels[i], table_rule(k, original[i]))
            << "level " << k << " pixel " << std::hex << original[i];
    }
    for (uint32_t p = 0; p <= 0xFFFF; ++p)
      ASSERT_EQ(Dimming::dim_pixel(k, uint16_t(p)), table_rule(k, uint16_t(p)));
  }
}

TEST(Dimming, LevelsScaleEachChannelByKSixteenths) {
  // The truncated terms lose less than two units; the additive levels make up
  // one unit, which the 0x0861 constant gives green as three of its smaller
  // units.
  for (int k = 0; k < Dimming::kLevels; ++k) {
    for (uint32_t v = 0; v <= 0xFFFF; ++v) {
      const auto p = static_cast<uint16_t>(v);
      const uint16_t r = Dimming::dim_pixel(k, p);
      const double red = (r >> 11) - (p >> 11) * k / 16.0;
      const double green = ((r >> 5) & 63) - ((p >> 5) & 63) * k / 16.0;
      const double blue = (r & 31) - (p & 31) * k / 16.0;
      ASSERT_GT(red, -1.5) << k;
      ASSERT_LE(red, 1.0) << k;
      ASSERT_GT(blue, -1.5) << k;
      ASSERT_LE(blue, 1.0) << k;
      ASSERT_GT(green, -1.5) << k;
      ASSERT_LE(green, 3.0) << k;
    }
  }
}

TEST(Dimming, SpansOfEveryLengthAndAlignment) {
  // Lengths 0..9 at both word alignments: the odd leading and trailing
  // pixels go alone, nothing outside the span changes.
  for (int k : {1, 5, 8, 11, 13}) {
    for (int offset : {0, 1}) {
      for (int length = 0; length < 10; ++length) {
        std::vector<uint16_t> pixels(16);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint16_t(0xFFFF - i * 0x0841);
        const std::vector<uint16_t> before = pixels;
        Dimming(k).apply(pixels.data() + offset, pixels.data() + offset + length);
        for (int i = 0; i < 16; ++i) {
          const bool inside = i >= offset && i < offset + length;
          ASSERT_EQ(pixels[i], inside ? table_rule(k, before[i]) : before[i])
              << "level " << k << " offset " << offset << " length " << length << " at " << i;
        }
      }
    }
  }
}

TEST(Dimming, EdgeLevelsAndAlpha) {
  uint16_t white[3] = {0xFFFF, 0xFFFF, 0xFFFF};
  Dimming(8).apply(white, white + 3);
  EXPECT_EQ(white[0], 0x7BEF);
  EXPECT_EQ(white[2], 0x7BEF);
  uint16_t p = 0xFFFF;
  Dimming(16).apply(&p, &p + 1);
  EXPECT_EQ(p, 0xFFFF);
  Dimming(0).apply(&p, &p + 1);
  EXPECT_EQ(p, 0);

  EXPECT_EQ(Dimming::from_alpha(128).level(), 8);
  EXPECT_EQ(Dimming::from_alpha(255).level(), 16);
  EXPECT_EQ(Dimming::from_alpha(0).level(), 0);
  EXPECT_EQ(Dimming::from_alpha(7).level(), 0);
  EXPECT_EQ(Dimming::from_alpha(8).level(), 1);
  EXPECT_EQ(Dimming::from_alpha(-100).level(), 0);
  EXPECT_EQ(Dimming::from_alpha(1000).level(), 16);
  EXPECT_EQ(Dimming::from_alpha(INT32_MAX).level(), 16);
  EXPECT_EQ(Dimming(-3).level(), 0);
  EXPECT_EQ(Dimming(40).level(), 16);
}

}  // namespace
}  // namespace lv
