#include "skin/blit.h"

#include <algorithm>
#include <type_traits>

#include "skin/canvas.h"
#include "skin/dim.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {

namespace {

// Fixed-point positions of the stretch blit.
constexpr int kFractionBits = 10;

Rect clamp_clip(const Rect& clip, const Surface& dst) {
  return {std::max(clip.left, 0), std::max(clip.top, 0),
          std::min<int32_t>(clip.right, static_cast<int32_t>(dst.width())),
          std::min<int32_t>(clip.bottom, static_cast<int32_t>(dst.height()))};
}

uint16_t* dst_start(Surface& dst, int64_t x, int64_t y) {
  return reinterpret_cast<uint16_t*>(dst.bytes() + size_t(y) * dst.pitch() + size_t(x) * 2);
}

const uint16_t* src_start(const Surface& src, int64_t x, int64_t y) {
  return reinterpret_cast<const uint16_t*>(src.bytes() + size_t(y) * src.pitch() + size_t(x) * 2);
}

template <typename T>
T* next_row(T* row, uint32_t pitch) {
  using Byte = std::conditional_t<std::is_const_v<T>, const uint8_t, uint8_t>;
  return reinterpret_cast<T*>(reinterpret_cast<Byte*>(row) + pitch);
}

// The span [start, start + length) of one axis cut to [low, high): how much
// was dropped before low and what is left.
struct Cut {
  int64_t start;
  int64_t length;
  int64_t dropped;
};

Cut cut_span(int64_t start, int64_t length, int64_t low, int64_t high) {
  Cut cut{start, length, 0};
  if (cut.start < low) {
    cut.dropped = low - cut.start;
    cut.length -= cut.dropped;
    cut.start = low;
  }
  cut.length = std::min(cut.length, high - cut.start);
  return cut;
}

}  // namespace

void blit(Surface& dst, Point pos, Size size, const Surface& src, Point src_pos, const Rect& clip,
          const RowBlitter& blitter) {
  if (size.width < 1 || size.height < 1) return;
  const Rect c = clamp_clip(clip, dst);
  // Aligning source and destination first lets one cut serve both.
  Cut x = cut_span(pos.x, size.width, int64_t{pos.x} - src_pos.x,
                   int64_t{pos.x} - src_pos.x + src.width());
  Cut y = cut_span(pos.y, size.height, int64_t{pos.y} - src_pos.y,
                   int64_t{pos.y} - src_pos.y + src.height());
  x = cut_span(x.start, x.length, c.left, c.right);
  y = cut_span(y.start, y.length, c.top, c.bottom);
  if (x.length < 1 || y.length < 1) return;

  const int64_t sx = src_pos.x + (x.start - pos.x);
  const int64_t sy = src_pos.y + (y.start - pos.y);
  uint16_t* d = dst_start(dst, x.start, y.start);
  const uint16_t* s = src_start(src, sx, sy);
  // Whole rows of two gapless surfaces lie back to back in both: the block
  // is one span (a full-screen image onto the frame buffer, say).
  const uint32_t row_bytes = uint32_t(x.length) * 2;
  // A surface blitted onto itself further down must be walked bottom-up, or
  // the first rows written would be read again as source.
  const auto* d_bytes = reinterpret_cast<const uint8_t*>(d);
  const auto* s_bytes = reinterpret_cast<const uint8_t*>(s);
  const size_t s_extent = size_t(y.length - 1) * src.pitch() + row_bytes;
  if (d_bytes > s_bytes && d_bytes < s_bytes + s_extent) {
    for (int64_t row = y.length - 1; row >= 0; --row)
      blitter.copy_row(
          dst_start(dst, x.start, y.start + row), dst_start(dst, x.start, y.start + row) + x.length,
          src_start(src, sx, sy + row), static_cast<int32_t>(sx), static_cast<int32_t>(sy + row));
    return;
  }
  if (row_bytes == dst.pitch() && row_bytes == src.pitch()) {
    blitter.copy_row(d, d + x.length * y.length, s, static_cast<int32_t>(sx),
                     static_cast<int32_t>(sy));
    return;
  }
  for (int64_t row = 0; row < y.length; ++row) {
    blitter.copy_row(d, d + x.length, s, static_cast<int32_t>(sx), static_cast<int32_t>(sy + row));
    d = next_row(d, dst.pitch());
    s = next_row(s, src.pitch());
  }
}

void blit(Canvas& dst, Point pos, Size size, const Surface& src, Point src_pos,
          const RowBlitter& blitter) {
  if (dst.surface()) blit(*dst.surface(), pos, size, src, src_pos, dst.clip(), blitter);
}

void stretch_blit(Surface& dst, Point pos, Size size, const Surface& src, Point src_pos,
                  Size src_size, const Rect& clip, const RowBlitter& blitter) {
  if (size.width < 1 || size.height < 1) return;
  if (src_pos.x < 0 || src_pos.y < 0 || src_size.width < 1 || src_size.height < 1) return;
  if (int64_t{src_pos.x} + src_size.width > src.width() ||
      int64_t{src_pos.y} + src_size.height > src.height())
    return;
  const Rect c = clamp_clip(clip, dst);
  const Cut x = cut_span(pos.x, size.width, c.left, c.right);
  const Cut y = cut_span(pos.y, size.height, c.top, c.bottom);
  if (x.length < 1 || y.length < 1) return;

  // Every position stays below (source end) << 10 because the steps round
  // down, so no sample falls outside the source rectangle.
  const int64_t step_x = (int64_t{src_size.width} << kFractionBits) / size.width;
  const int64_t step_y = (int64_t{src_size.height} << kFractionBits) / size.height;
  const int64_t fx = (int64_t{src_pos.x} << kFractionBits) + x.dropped * step_x;
  int64_t fy = (int64_t{src_pos.y} << kFractionBits) + y.dropped * step_y;

  uint16_t* d = dst_start(dst, x.start, y.start);
  for (int64_t row = 0; row < y.length; ++row) {
    const auto sy = static_cast<int32_t>(fy >> kFractionBits);
    blitter.scaled_row(d, d + x.length, src.row(sy), static_cast<int32_t>(fx),
                       static_cast<int32_t>(step_x), sy);
    d = next_row(d, dst.pitch());
    fy += step_y;
  }
}

void stretch_blit(Canvas& dst, Point pos, Size size, const Surface& src, Point src_pos,
                  Size src_size, const RowBlitter& blitter) {
  if (dst.surface())
    stretch_blit(*dst.surface(), pos, size, src, src_pos, src_size, dst.clip(), blitter);
}

void apply_to_rect(Surface& dst, Point pos, Size size, const Rect& clip, const Dimming& dimming) {
  if (size.width < 1 || size.height < 1) return;
  const Rect c = clamp_clip(clip, dst);
  const Cut x = cut_span(pos.x, size.width, c.left, c.right);
  const Cut y = cut_span(pos.y, size.height, c.top, c.bottom);
  if (x.length < 1 || y.length < 1) return;
  uint16_t* d = dst_start(dst, x.start, y.start);
  for (int64_t row = 0; row < y.length; ++row) {
    dimming.apply(d, d + x.length);
    d = next_row(d, dst.pitch());
  }
}

void apply_to_rect(Canvas& dst, Point pos, Size size, const Dimming& dimming) {
  if (dst.surface()) apply_to_rect(*dst.surface(), pos, size, dst.clip(), dimming);
}

}  // namespace lv
