#include "jpeg/jpeg_idct.h"

#include <gtest/gtest.h>

namespace lv::jpeg {
namespace {

TEST(JpegIdct, FlatBlocksAndTheWrappingRangeLimit) {
  int16_t coef[64] = {};
  uint8_t out[64];
  for (int dc = -2048; dc <= 2047; dc += 7) {
    for (int32_t mult : {4, 20, 400}) {
      coef[0] = static_cast<int16_t>(dc);
      int32_t q[64];
      for (auto& v : q) v = mult;
      idct_ifast(coef, q, out, 8);
      const uint8_t flat = idct_ifast_flat(coef[0], mult);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], flat) << dc << " " << mult;
    }
  }
  // The sample is (dc * mult) >> 5 wrapped to -512 .. 511, clamped to
  // -128 .. 127 and shifted by 128.
  EXPECT_EQ(idct_ifast_flat(0, 400), 128);
  EXPECT_EQ(idct_ifast_flat(1, 32), 129);
  EXPECT_EQ(idct_ifast_flat(-1, 1), 127);  // truncation towards minus infinity
  EXPECT_EQ(idct_ifast_flat(200, 32), 255);
  EXPECT_EQ(idct_ifast_flat(600, 32), 0);     // 600 wraps to -424
  EXPECT_EQ(idct_ifast_flat(-600, 32), 255);  // -600 wraps to 424
  EXPECT_EQ(idct_ifast_flat(-200, 32), 0);
}

TEST(JpegIdct, ExtremeCoefficientsStayDefined) {
  // Corrupt data can give any 16-bit coefficient and multiplier; the sums
  // must not overflow (the sanitizer build checks).
  int16_t coef[64];
  int32_t q[64];
  uint8_t out[64];
  for (int pattern = 0; pattern < 4; ++pattern) {
    for (int i = 0; i < 64; ++i) {
      coef[i] = static_cast<int16_t>((pattern & 1) ? ((i & 1) ? 32767 : -32768) : 32767);
      q[i] = (pattern & 2) ? -32768 : 32767;
    }
    idct_ifast(coef, q, out, 8);
  }
  uint16_t quant[64];
  for (auto& v : quant) v = 65535;
  ifast_multipliers(quant, q);  // kept to 16 bits, as libjpeg-turbo does
  for (int i = 0; i < 64; ++i) EXPECT_GE(q[i], -32768);
  EXPECT_EQ(q[0], static_cast<int16_t>((65535 * 16384 + 2048) >> 12));
}

}  // namespace
}  // namespace lv::jpeg
