#include "skin/rgb565.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace lv::rgb565 {
namespace {

// Channel shifts written out per channel, the way the masks must behave.
uint16_t per_channel_shift(uint16_t p, int n) {
  return pack(red(p) >> n, green(p) >> n, blue(p) >> n);
}

TEST(Rgb565, ChannelsRoundTripForEveryPixel) {
  for (uint32_t v = 0; v <= 0xFFFF; ++v) {
    const auto p = static_cast<uint16_t>(v);
    ASSERT_EQ(pack(red(p), green(p), blue(p)), p);
    ASSERT_EQ(from_rgb888(red8(p), green8(p), blue8(p)), p) << std::hex << v;
  }
  EXPECT_EQ(red(0xF800), 31);
  EXPECT_EQ(green(0x07E0), 63);
  EXPECT_EQ(blue(0x001F), 31);
  EXPECT_EQ(red8(0xFFFF), 255);
  EXPECT_EQ(green8(0x0020), 4);
  EXPECT_EQ(from_rgb888(255, 0, 255), kKey);
  EXPECT_EQ(from_rgb888(7, 3, 7), 0);
}

TEST(Rgb565, HalfAndQuarterNeverBorrowAcrossChannels) {
  for (uint32_t v = 0; v <= 0xFFFF; ++v) {
    const auto p = static_cast<uint16_t>(v);
    ASSERT_EQ(half(p), per_channel_shift(p, 1)) << std::hex << v;
    ASSERT_EQ(quarter(p), per_channel_shift(p, 2)) << std::hex << v;
  }
}

TEST(Rgb565, DivisionsOnOnePixelAndOnPairsAgreeWithChannelShifts) {
  for (uint32_t v = 0; v <= 0xFFFF; ++v) {
    const auto p = static_cast<uint16_t>(v);
    ASSERT_EQ(div2<uint16_t>(p), per_channel_shift(p, 1));
    ASSERT_EQ(div4<uint16_t>(p), per_channel_shift(p, 2));
    ASSERT_EQ(div8<uint16_t>(p), per_channel_shift(p, 3));
    ASSERT_EQ(div16<uint16_t>(p), per_channel_shift(p, 4));
    // Pair with a neighbour whose bits would slide into p without the mask.
    const uint16_t other = static_cast<uint16_t>(~p * 7919u);
    const uint32_t pair = (uint32_t{other} << 16) | p;
    const uint32_t expected_lo[4] = {per_channel_shift(p, 1), per_channel_shift(p, 2),
                                     per_channel_shift(p, 3), per_channel_shift(p, 4)};
    const uint32_t expected_hi[4] = {per_channel_shift(other, 1), per_channel_shift(other, 2),
                                     per_channel_shift(other, 3), per_channel_shift(other, 4)};
    const uint32_t got[4] = {div2(pair), div4(pair), div8(pair), div16(pair)};
    for (int n = 0; n < 4; ++n) {
      ASSERT_EQ(got[n] & 0xFFFF, expected_lo[n]) << std::hex << v << " shift " << n + 1;
      ASSERT_EQ(got[n] >> 16, expected_hi[n]) << std::hex << v << " shift " << n + 1;
    }
  }
  EXPECT_EQ(div16_unit<uint16_t>(), 0x0861);
  EXPECT_EQ(div16_unit<uint32_t>(), 0x08610861u);
}

TEST(Rgb565, KeyAndOpaqueBit) {
  EXPECT_TRUE(is_key(0xF81F));
  EXPECT_FALSE(is_key(0xF83F));
  EXPECT_FALSE(is_opaque(kKey));
  EXPECT_TRUE(is_opaque(0x0020));
  EXPECT_FALSE(is_opaque(0xFFDF));
}

}  // namespace
}  // namespace lv::rgb565
