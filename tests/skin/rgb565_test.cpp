#include "skin/dim.h"

#include <gtest/gtest.h>

#include "skin/rgb565.h"

namespace lv {
namespace {

using namespace rgb565;

TEST(Dimming, LevelsScaleEachChannelByKSixteenths) {
  // White: red and blue 31 * k / 16, green 63 * k / 16, each within a unit.
  const uint16_t white[Dimming::kLevels] = {0x0000, 0x0861, 0x18E3, 0x3186, 0x39E7, 0x4AA9,
                                            0x630C, 0x738E, 0x7BEF, 0x8CB1, 0x9D33, 0xA594,
                                            0xC618, 0xCE79, 0xE71C, 0xF79E, 0xFFFF};
  for (int k = 0; k < Dimming::kLevels; ++k) {
    EXPECT_EQ(Dimming::dim_pixel(k, 0xFFFF), white[k]) << "level " << k;
    // Each channel at its ends and its neighbours' ends: the truncated terms
    // lose less than two units; the additive levels make up one unit, which
    // 0x0861 gives green as three of its smaller units. Nothing carries or
    // borrows into a neighbouring channel.
    for (uint16_t p : {0x0000, 0xF800, 0x07E0, 0x001F, 0x0821, 0xF7DE, 0x8410, 0x7BEF}) {
      const uint16_t r = Dimming::dim_pixel(k, p);
      const double errors[3] = {red(r) - red(p) * k / 16.0, green(r) - green(p) * k / 16.0,
                                blue(r) - blue(p) * k / 16.0};
      EXPECT_TRUE(errors[0] > -1.5 && errors[0] <= 1.0 && errors[2] > -1.5 && errors[2] <= 1.0 &&
                  errors[1] > -1.5 && errors[1] <= 3.0)
          << k << " " << std::hex << p;
    }
  }
  EXPECT_EQ(Dimming::dim_pixel(99, 0x1234), 0x1234);
  for (auto [alpha, level] :
       {std::pair{128, 8}, {255, 16}, {7, 0}, {8, 1}, {-100, 0}, {INT32_MAX, 16}, {INT32_MIN, 0}})
    EXPECT_EQ(Dimming::from_alpha(alpha).level(), level) << alpha;
  EXPECT_TRUE(Dimming(-3).level() == 0 && Dimming(40).level() == 16);
}

TEST(Dimming, ASpanFollowsThePixelRuleThroughTheVectorBodyAndBothEnds) {
  // A span off the word grid holding every pixel value, with a lone pixel
  // at each end; the pixels around it stay.
  std::vector<uint16_t> original(65536 + 8);
  for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint16_t>(i * 40503u);
  for (int k = 0; k < Dimming::kLevels; ++k) {
    std::vector<uint16_t> pixels = original;
    Dimming(k).apply(pixels.data() + 1, pixels.data() + 65536 + 4);
    for (size_t i = 0; i < pixels.size(); ++i)
      ASSERT_EQ(pixels[i],
                i >= 1 && i < 65536 + 4 ? Dimming::dim_pixel(k, original[i]) : original[i])
          << "level " << k << " at " << i;
  }
}

}  // namespace
}  // namespace lv
