#include "jpeg/jpeg_color.h"

#include <cstring>

namespace lv::jpeg {

namespace {

constexpr int kScaleBits = 16;
constexpr int32_t kHalf = 1 << (kScaleBits - 1);
constexpr int32_t fix16(double x) {
  return static_cast<int32_t>(x * (1 << kScaleBits) + 0.5);
}

struct YccTables {
  int32_t cr_r[256];
  int32_t cb_b[256];
  int32_t cr_g[256];
  int32_t cb_g[256];  // with the rounding half of the green sum folded in
  uint8_t clamp_store[1024];
  const uint8_t* clamp = clamp_store + 384;  // valid for -384 .. 639

  YccTables() {
    for (int i = 0; i < 256; ++i) {
      const int32_t x = i - 128;
      cr_r[i] = (fix16(1.40200) * x + kHalf) >> kScaleBits;
      cb_b[i] = (fix16(1.77200) * x + kHalf) >> kScaleBits;
      cr_g[i] = -fix16(0.71414) * x;
      cb_g[i] = -fix16(0.34414) * x + kHalf;
    }
    for (int i = 0; i < 1024; ++i) {
      const int v = i - 384;
      clamp_store[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
  }
};

const YccTables& tables() {
  static const YccTables t;
  return t;
}

inline void store(PixelFormat format, uint8_t* out, int x, uint8_t r, uint8_t g, uint8_t b) {
  if (format == PixelFormat::rgb888) {
    out[3 * x] = r;
    out[3 * x + 1] = g;
    out[3 * x + 2] = b;
  } else {
    const uint16_t w = rgb565(r, g, b);
    std::memcpy(out + 2 * x, &w, 2);
  }
}

template <PixelFormat kFormat, int kShift>
void ycc_row(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int count, uint8_t* out) {
  const YccTables& t = tables();
  for (int x = 0; x < count; ++x) {
    const int yy = y[x];
    const int u = cb[x >> kShift];
    const int v = cr[x >> kShift];
    const uint8_t r = t.clamp[yy + t.cr_r[v]];
    const uint8_t g = t.clamp[yy + ((t.cb_g[u] + t.cr_g[v]) >> kScaleBits)];
    const uint8_t b = t.clamp[yy + t.cb_b[u]];
    store(kFormat, out, x, r, g, b);
  }
}

template <PixelFormat kFormat, int kShift>
void rgb_row(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* out) {
  for (int x = 0; x < count; ++x) store(kFormat, out, x, r[x], g[x >> kShift], b[x >> kShift]);
}

template <PixelFormat kFormat>
void gray_row(const uint8_t* y, int count, uint8_t* out) {
  for (int x = 0; x < count; ++x) store(kFormat, out, x, y[x], y[x], y[x]);
}

template <PixelFormat kFormat>
void convert(ColorTransform transform, int shift, const uint8_t* c0, const uint8_t* c1,
             const uint8_t* c2, int count, uint8_t* out) {
  switch (transform) {
    case ColorTransform::grayscale:
      gray_row<kFormat>(c0, count, out);
      return;
    case ColorTransform::ycbcr:
      if (shift)
        ycc_row<kFormat, 1>(c0, c1, c2, count, out);
      else
        ycc_row<kFormat, 0>(c0, c1, c2, count, out);
      return;
    case ColorTransform::rgb:
      if (shift)
        rgb_row<kFormat, 1>(c0, c1, c2, count, out);
      else
        rgb_row<kFormat, 0>(c0, c1, c2, count, out);
      return;
  }
}

}  // namespace

void convert_row(ColorTransform transform, PixelFormat format, int chroma_shift, const uint8_t* c0,
                 const uint8_t* c1, const uint8_t* c2, int count, uint8_t* out) {
  if (format == PixelFormat::rgb888)
    convert<PixelFormat::rgb888>(transform, chroma_shift, c0, c1, c2, count, out);
  else
    convert<PixelFormat::rgb565>(transform, chroma_shift, c0, c1, c2, count, out);
}

}  // namespace lv::jpeg
