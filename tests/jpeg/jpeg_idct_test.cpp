#include "jpeg/jpeg_idct.h"

#include <gtest/gtest.h>

namespace lv::jpeg {
namespace {

TEST(JpegIdct, FlatBlocksAndTheWrappingRangeLimit) {
  // The sample is (dc * mult) >> 5 wrapped to -512 .. 511, clamped to
  // -128 .. 127 and shifted by 128; the shift truncates towards minus
  // infinity (-1 -> 127), 600 wraps to -424 and -600 to 424.
  const int cases[][3] = {{0, 400, 128}, {1, 32, 129},    {-1, 1, 127}, {200, 32, 255},
                          {600, 32, 0},  {-600, 32, 255}, {-200, 32, 0}};
  for (const auto& [dc, mult, sample] : cases)
    EXPECT_EQ(idct_ifast_flat(int16_t(dc), mult), sample) << dc;
}

TEST(JpegIdct, ExtremeCoefficientsStayDefined) {
  // Corrupt data can give any 16-bit coefficient and multiplier; the sums
  // must not overflow (the sanitizer build checks).
  int16_t coef[64];
  int32_t q[64];
  uint8_t out[64];
  for (int pattern = 0; pattern < 4; ++pattern) {
    for (int i = 0; i < 64; ++i) {
      coef[i] = static_cast<int16_t>((pattern & 1) && !(i & 1) ? -32768 : 32767);
      q[i] = (pattern & 2) ? -32768 : 32767;
    }
    idct_ifast(coef, q, out, 8);
  }
  const uint16_t quant[64] = {65535};
  ifast_multipliers(quant, q);  // kept to 16 bits, as libjpeg-turbo does
  EXPECT_EQ(q[0], static_cast<int16_t>((65535 * 16384 + 2048) >> 12));
}

}  // namespace
}  // namespace lv::jpeg
