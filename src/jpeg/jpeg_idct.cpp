#include "jpeg/jpeg_idct.h"

#include <array>
#include <cmath>
#include <cstring>

namespace lv::jpeg {

namespace {

// Constants with 8 fractional bits, rounded to nearest.
constexpr int32_t fix8(double x) {
  return static_cast<int32_t>(x * 256 + 0.5);
}
constexpr int32_t kC1_082 = fix8(1.082392200);  // 2 * (c2 - c6)
constexpr int32_t kC1_414 = fix8(1.414213562);  // 2 * c4
constexpr int32_t kC1_847 = fix8(1.847759065);  // 2 * c2
constexpr int32_t kC2_613 = fix8(2.613125930);  // 2 * (c2 + c6)

// The arithmetic is libjpeg's: 32-bit integers (which corrupt data may make
// wrap; here they wrap by definition, through unsigned arithmetic), products
// with 8 fractional bits truncated by an arithmetic shift, never rounded.
inline int32_t add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t scale(int32_t v, int32_t c) {
  return mul(v, c) >> 8;
}

// The one-dimensional transform of both passes: eight values `step` apart.
inline void idct_1d(int32_t* p, int step) {
  const int32_t i0 = p[0], i1 = p[step], i2 = p[2 * step], i3 = p[3 * step];
  const int32_t i4 = p[4 * step], i5 = p[5 * step], i6 = p[6 * step], i7 = p[7 * step];
  // Even part.
  const int32_t s04 = add(i0, i4);
  const int32_t d04 = sub(i0, i4);
  const int32_t s26 = add(i2, i6);
  const int32_t d26 = sub(scale(sub(i2, i6), kC1_414), s26);
  const int32_t e0 = add(s04, s26);
  const int32_t e3 = sub(s04, s26);
  const int32_t e1 = add(d04, d26);
  const int32_t e2 = sub(d04, d26);
  // Odd part.
  const int32_t z13 = add(i5, i3);
  const int32_t z10 = sub(i5, i3);
  const int32_t z11 = add(i1, i7);
  const int32_t z12 = sub(i1, i7);
  const int32_t o7 = add(z11, z13);
  const int32_t o11 = scale(sub(z11, z13), kC1_414);
  const int32_t z5 = scale(add(z10, z12), kC1_847);
  const int32_t o10 = sub(scale(z12, kC1_082), z5);
  const int32_t o12 = add(scale(z10, -kC2_613), z5);
  const int32_t o6 = sub(o12, o7);
  const int32_t o5 = sub(o11, o6);
  const int32_t o4 = add(o10, o5);

  p[0] = add(e0, o7);
  p[7 * step] = sub(e0, o7);
  p[step] = add(e1, o6);
  p[6 * step] = sub(e1, o6);
  p[2 * step] = add(e2, o5);
  p[5 * step] = sub(e2, o5);
  p[4 * step] = add(e3, o4);
  p[3 * step] = sub(e3, o4);
}

// Output samples by the low 10 bits of a result with its 2 + 3 fractional
// bits dropped: those bits wrap to -512 .. 511, which is clamped to
// -128 .. 127 and shifted to 0 .. 255.
struct RangeLimit {
  std::array<uint8_t, 1024> table{};
  RangeLimit() {
    for (int i = 0; i < 1024; ++i) {
      int x = i < 512 ? i : i - 1024;
      x = x < -128 ? -128 : (x > 127 ? 127 : x);
      table[static_cast<size_t>(i)] = static_cast<uint8_t>(x + 128);
    }
  }
  uint8_t operator()(int32_t v) const { return table[static_cast<size_t>((v >> 5) & 1023)]; }
};

const RangeLimit& range_limit() {
  static const RangeLimit limit;
  return limit;
}

struct AanScales {
  int32_t value[64];
  AanScales() {
    const double pi = std::acos(-1.0);
    double factor[8];
    factor[0] = 1.0;
    for (int k = 1; k < 8; ++k) factor[k] = std::sqrt(2.0) * std::cos(k * pi / 16);
    // 14 fractional bits, rounded to nearest.
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c)
        value[r * 8 + c] = static_cast<int32_t>(std::lround(factor[r] * factor[c] * 16384.0));
  }
};

}  // namespace

void ifast_multipliers(const uint16_t quant[64], int32_t multipliers[64]) {
  static const AanScales aan;
  for (int i = 0; i < 64; ++i) {
    const int64_t m = (static_cast<int64_t>(quant[i]) * aan.value[i] + (1 << 11)) >> 12;
    // libjpeg-turbo keeps these in 16 bits; only 16-bit tables of very large
    // values notice.
    multipliers[i] = static_cast<int16_t>(static_cast<uint16_t>(m));
  }
}

uint8_t idct_ifast_flat(int16_t dc, int32_t multiplier) {
  return range_limit()(mul(dc, multiplier));
}

void idct_ifast(const int16_t in[64], const int32_t q[64], uint8_t* out, size_t stride) {
  const RangeLimit& limit = range_limit();
  int32_t ws[64];
  // Columns. One without AC terms is its DC term throughout, which is also
  // what the full transform gives.
  for (int c = 0; c < 8; ++c) {
    if ((in[8 + c] | in[16 + c] | in[24 + c] | in[32 + c] | in[40 + c] | in[48 + c] | in[56 + c]) ==
        0) {
      const int32_t dc = mul(in[c], q[c]);
      for (int r = 0; r < 8; ++r) ws[r * 8 + c] = dc;
      continue;
    }
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = mul(in[r * 8 + c], q[r * 8 + c]);
    idct_1d(ws + c, 8);
  }
  // Rows.
  for (int r = 0; r < 8; ++r, out += stride) {
    int32_t* w = ws + r * 8;
    if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
      std::memset(out, limit(w[0]), 8);
      continue;
    }
    idct_1d(w, 1);
    uint8_t px[8];
    for (int c = 0; c < 8; ++c) px[c] = limit(w[c]);
    std::memcpy(out, px, 8);
  }
}

}  // namespace lv::jpeg
