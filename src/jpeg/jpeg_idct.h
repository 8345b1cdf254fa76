#pragma once

// The fast integer inverse DCT of the own baseline decoder: the scaled
// Arai-Agui-Nakajima algorithm with 8 fractional bits in its constants,
// truncating shifts, quantisation tables pre-scaled by the AAN factors, and
// output through a 10-bit wrapping range limit. This is the arithmetic of
// libjpeg's JDCT_IFAST method, so both decoders give the same samples.

#include <cstddef>
#include <cstdint>

namespace lv::jpeg {

// Dequantisation multipliers for a quantisation table in natural order:
// quant[i] * aan[row] * aan[col] with 2 fractional bits, where aan[0] = 1 and
// aan[k] = sqrt(2) * cos(k * pi / 16).
void ifast_multipliers(const uint16_t quant[64], int32_t multipliers[64]);

// One block: coefficients in natural order, dequantised and transformed into
// 8 rows of 8 samples at `out` (rows `stride` bytes apart).
void idct_ifast(const int16_t coefficients[64], const int32_t multipliers[64], uint8_t* out,
                size_t stride);

// The sample value of every pixel of a block without AC coefficients.
uint8_t idct_ifast_flat(int16_t dc, int32_t multiplier);

}  // namespace lv::jpeg
