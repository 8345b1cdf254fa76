#include "widgets/mask_blitter.h"

#include "skin/surface.h"

namespace lv {

uint16_t MaskBlitter::mix(uint16_t source, uint16_t destination, uint16_t mask) {
  const int32_t m = mask & 0x1F;
  if (m == 0) return destination;
  if (m == 31) return source;
  auto channel = [m](int32_t s, int32_t d) { return d + (s - d) * m / 32; };
  const int32_t r = channel(source >> 11, destination >> 11);
  const int32_t g = channel((source >> 5) & 0x3F, (destination >> 5) & 0x3F);
  const int32_t b = channel(source & 0x1F, destination & 0x1F);
  return static_cast<uint16_t>((r << 11) | (g << 5) | b);
}

uint16_t MaskBlitter::mask_at(int64_t x, int64_t y) const {
  const Surface* mask = m_mask ? m_mask->surface() : nullptr;
  if (!mask || x < 0 || y < 0 || x >= mask->width() || y >= mask->height()) return 0xFFFF;
  return mask->pixel(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
}

void MaskBlitter::copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t src_x,
                           int32_t src_y) const {
  // A span may cover several whole rows of a gapless source; positions past
  // the mask's width continue on the rows below.
  const Surface* mask = m_mask ? m_mask->surface() : nullptr;
  const int64_t width = mask && mask->width() > 0 ? mask->width() : 0;
  for (int64_t i = 0; dst + i < dst_end; ++i) {
    int64_t x = int64_t{src_x} + i, y = src_y;
    if (width > 0 && x >= width) {
      y += x / width;
      x %= width;
    }
    dst[i] = mix(src[i], dst[i], mask_at(x, y));
  }
}

void MaskBlitter::scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row,
                             int32_t start, int32_t step, int32_t src_y) const {
  int64_t position = start;
  for (uint16_t* d = dst; d < dst_end; ++d, position += step) {
    const int64_t x = position >> 10;
    *d = mix(src_row[x], *d, mask_at(x, src_y));
  }
}

void MaskBlitter::magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                int32_t count, int32_t shift, int32_t src_y) const {
  for (int32_t i = 0; i < count; ++i) {
    const int64_t x = (int64_t{start_x} + i) >> shift;
    dst[i] = mix(src_row[x], dst[i], mask_at(x, src_y));
  }
}

void MaskBlitter::tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                      int32_t count, int32_t shift, int32_t wrap_from,
                                      int32_t wrap_at, int32_t src_y) const {
  int32_t x = start_x;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t sx = x >> shift;
    dst[i] = mix(src_row[sx], dst[i], mask_at(sx, src_y));
    if (++x == wrap_at) x = wrap_from;
  }
}

std::unique_ptr<RowBlitter> MaskBlitter::clone() const {
  auto copy = std::make_unique<MaskBlitter>(Picture{});
  copy->m_mask = m_mask;
  return copy;
}

}  // namespace lv
