#include "jpeg/jpeg_idct.h"

#include <gtest/gtest.h>

namespace lv::jpeg {
namespace {

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
