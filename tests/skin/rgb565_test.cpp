#include "skin/rgb565.h"

#include <gtest/gtest.h>

#include "skin/dim.h"

namespace lv {
namespace {

using namespace rgb565;

// Channel shifts written out per channel, the way the masks must behave.
uint16_t per_channel_shift(uint16_t p, int n) {
  return pack(red(p) >> n, green(p) >> n, blue(p) >> n);
}

TEST(Rgb565, ChannelsRoundTripAndDivisionsNeverBorrowAcrossChannelsOrPixels) {
  EXPECT_TRUE(from_rgb888(255, 0, 255) == kKey && (pack(31, 0, 31)) == kKey);
  EXPECT_TRUE(green8(0x0020) == 4 && is_opaque(0x0020) && !is_opaque(kKey));
  for (uint32_t v = 0; v <= 0xFFFF; ++v) {
    const auto p = static_cast<uint16_t>(v);
    ASSERT_EQ(pack(red(p), green(p), blue(p)), p);
    ASSERT_EQ(from_rgb888(red8(p), green8(p), blue8(p)), p) << std::hex << v;
    ASSERT_TRUE(half(p) == per_channel_shift(p, 1) && quarter(p) == per_channel_shift(p, 2)) << v;
    // Paired with a neighbour whose bits would slide into p without the mask.
    const auto other = static_cast<uint16_t>(~p * 7919u);
    const uint32_t pair = (uint32_t{other} << 16) | p;
    const uint32_t two[4] = {div2(pair), div4(pair), div8(pair), div16(pair)};
    const uint16_t one[4] = {div2(p), div4(p), div8(p), div16(p)};
    for (int n = 0; n < 4; ++n) {
      ASSERT_EQ(one[n], per_channel_shift(p, n + 1)) << std::hex << v << " shift " << n + 1;
      ASSERT_EQ(two[n], uint32_t{per_channel_shift(other, n + 1)} << 16 | one[n]) << std::hex << v;
    }
  }
}

TEST(Dimming, LevelsScaleEachChannelByKSixteenths) {
  // White: red and blue 31 * k / 16, green 63 * k / 16, each within a unit.
  const uint16_t white[Dimming::kLevels] = {0x0000, 0x0861, 0x18E3, 0x3186, 0x39E7, 0x4AA9,
                                            0x630C, 0x738E, 0x7BEF, 0x8CB1, 0x9D33, 0xA594,
                                            0xC618, 0xCE79, 0xE71C, 0xF79E, 0xFFFF};
  for (int k = 0; k < Dimming::kLevels; ++k) {
    EXPECT_EQ(Dimming::dim_pixel(k, 0xFFFF), white[k]) << "level " << k;
    // Every pixel: the truncated terms lose less than two units; the additive
    // levels make up one unit, which 0x0861 gives green as three of its
    // smaller units. Nothing carries or borrows into a neighbouring channel.
    for (uint32_t v = 0; v <= 0xFFFF; ++v) {
      const auto p = static_cast<uint16_t>(v);
      const uint16_t r = Dimming::dim_pixel(k, p);
      const double errors[3] = {red(r) - red(p) * k / 16.0, green(r) - green(p) * k / 16.0,
                                blue(r) - blue(p) * k / 16.0};
      ASSERT_TRUE(errors[0] > -1.5 && errors[0] <= 1.0 && errors[2] > -1.5 && errors[2] <= 1.0 &&
                  errors[1] > -1.5 && errors[1] <= 3.0)
          << k << " " << std::hex << v;
    }
  }
  EXPECT_EQ(Dimming::dim_pixel(99, 0x1234), 0x1234);
  for (auto [alpha, level] :
       {std::pair{128, 8}, {255, 16}, {7, 0}, {8, 1}, {-100, 0}, {INT32_MAX, 16}, {INT32_MIN, 0}})
    EXPECT_EQ(Dimming::from_alpha(alpha).level(), level) << alpha;
  EXPECT_TRUE(Dimming(-3).level() == 0 && Dimming(40).level() == 16);
}

TEST(Dimming, SpansOfEveryLengthAndAlignmentFollowThePixelRule) {
  // Short spans at both word alignments (a lone leading or trailing pixel),
  // and one long span through the vector body holding every pixel value.
  std::vector<uint16_t> original(65536 + 8);
  for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint16_t>(i * 40503u);
  for (int k = 0; k < Dimming::kLevels; ++k)
    for (int offset : {0, 1})
      for (int length : {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 33, 65536 + 3}) {
        std::vector<uint16_t> pixels = original;
        Dimming(k).apply(pixels.data() + offset, pixels.data() + offset + length);
        for (size_t i = 0; i < pixels.size(); ++i) {
          const bool inside = i >= size_t(offset) && i < size_t(offset + length);
          ASSERT_EQ(pixels[i], inside ? Dimming::dim_pixel(k, original[i]) : original[i])
              << "level " << k << " offset " << offset << " length " << length << " at " << i;
        }
      }
}

}  // namespace
}  // namespace lv
