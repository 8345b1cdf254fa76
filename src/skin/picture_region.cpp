// Drawing a picture region: each axis is planned on its own as a first
// margin, a repeated middle and a last margin, cut to the clip; the y plan
// picks a source row for every destination row and the x plan draws that row
// in up to three row-blitter calls.

#include <algorithm>

#include "skin/blit.h"
#include "skin/canvas.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {

namespace {

// The axis values of P0..P3, clamped so that 0 <= a <= b <= c <= e <= limit.
struct AxisPoints {
  int32_t a, b, c, e;
};

AxisPoints clamp_points(int32_t a, int32_t b, int32_t c, int32_t e, int32_t limit) {
  AxisPoints p;
  p.a = std::clamp(a, 0, limit);
  p.e = std::clamp(e, p.a, limit);
  p.b = std::clamp(b, p.a, p.e);
  p.c = std::clamp(c, p.b, p.e);
  return p;
}

// Source coordinates are in scaled units throughout.
struct AxisPlan {
  int64_t start = 0;  // destination of the first pixel drawn
  int64_t first = 0, middle = 0, last = 0;
  int32_t first_src = 0;
  int32_t middle_src = 0;  // where the middle starts within [tile_from, tile_at)
  int32_t tile_from = 0, tile_at = 0;
  int32_t last_src = 0;

  int64_t total() const { return first + middle + last; }
};

// Drops up to `amount` from `part`, returning how much was dropped.
int64_t take(int64_t& part, int64_t& amount) {
  const int64_t k = std::min(part, amount);
  part -= k;
  amount -= k;
  return k;
}

// False when nothing of the axis can be drawn.
bool plan_axis(int64_t d, int64_t n, const AxisPoints& p, int32_t clip_low, int32_t clip_high,
               AxisPlan& plan) {
  if (n < 1 || p.a >= p.e || clip_low >= clip_high) return false;
  const int64_t m1 = p.b - p.a;
  const int64_t m2 = p.e - p.c;
  if (p.c > p.b) {
    plan.tile_from = p.b;
    plan.tile_at = p.c;
  } else if (p.b > p.a) {  // no inner part: repeat the first margin's last pixel
    plan.tile_from = p.b - 1;
    plan.tile_at = p.b;
  } else {  // nor a first margin: the last margin's first pixel
    plan.tile_from = p.c;
    plan.tile_at = p.c + 1;
  }

  if (n > m1 + m2) {
    plan.first = m1;
    plan.last = m2;
  } else {
    plan.first = n / 2;
    plan.last = (n - 1) / 2;
    if (plan.first > m1) {
      plan.last += plan.first - m1;
      plan.first = m1;
    }
    if (plan.last > m2) {
      plan.first += plan.last - m2;
      plan.last = m2;
    }
  }
  plan.middle = n - plan.first - plan.last;
  plan.start = d;
  plan.first_src = p.a;
  plan.last_src = static_cast<int32_t>(p.e - plan.last);
  plan.middle_src = plan.tile_from;

  if (int64_t drop = clip_low - d; drop > 0) {
    plan.first_src += static_cast<int32_t>(take(plan.first, drop));
    const int64_t skipped = take(plan.middle, drop);
    plan.middle_src += static_cast<int32_t>(skipped % (plan.tile_at - plan.tile_from));
    plan.last_src += static_cast<int32_t>(take(plan.last, drop));
    plan.start = clip_low;
  }
  if (int64_t excess = plan.start + plan.total() - clip_high; excess > 0) {
    take(plan.last, excess);
    take(plan.middle, excess);
    take(plan.first, excess);
  }
  return plan.total() > 0;
}

class RowDrawer {
 public:
  RowDrawer(Surface& dst, const Surface& bitmap, const AxisPlan& x, int32_t shift,
            const RowBlitter& blitter)
      : m_dst(dst), m_bitmap(bitmap), m_x(x), m_shift(shift), m_blitter(blitter) {}

  void draw(int64_t dst_y, int32_t src_y_scaled) const {
    const int32_t src_y = src_y_scaled >> m_shift;
    const uint16_t* src = m_bitmap.row(static_cast<uint32_t>(src_y));
    uint16_t* d = m_dst.row(static_cast<uint32_t>(dst_y)) + m_x.start;
    const auto first = static_cast<int32_t>(m_x.first);
    const auto middle = static_cast<int32_t>(m_x.middle);
    const auto last = static_cast<int32_t>(m_x.last);
    if (first > 0) m_blitter.magnified_row(d, src, m_x.first_src, first, m_shift, src_y);
    if (middle > 0)
      m_blitter.tiled_magnified_row(d + first, src, m_x.middle_src, middle, m_shift, m_x.tile_from,
                                    m_x.tile_at, src_y);
    if (last > 0)
      m_blitter.magnified_row(d + first + middle, src, m_x.last_src, last, m_shift, src_y);
  }

 private:
  Surface& m_dst;
  const Surface& m_bitmap;
  const AxisPlan& m_x;
  int32_t m_shift;
  const RowBlitter& m_blitter;
};

}  // namespace

void draw_picture_region(Canvas& dst, Point pos, Size size, const PictureView& picture,
                         const RowBlitter& blitter) {
  if (!dst.surface() || !picture.bitmap) return;
  const int32_t shift = std::clamp(picture.scale, 0, 4);
  const auto width = static_cast<int32_t>(picture.bitmap->width()) << shift;
  const auto height = static_cast<int32_t>(picture.bitmap->height()) << shift;
  const AxisPoints px = clamp_points(picture.p0.x, picture.p1.x, picture.p2.x, picture.p3.x, width);
  const AxisPoints py =
      clamp_points(picture.p0.y, picture.p1.y, picture.p2.y, picture.p3.y, height);
  const Rect clip = dst.effective_clip();
  AxisPlan x, y;
  if (!plan_axis(pos.x, size.width, px, clip.left, clip.right, x)) return;
  if (!plan_axis(pos.y, size.height, py, clip.top, clip.bottom, y)) return;

  const RowDrawer drawer(*dst.surface(), *picture.bitmap, x, shift, blitter);
  int64_t dst_y = y.start;
  for (int64_t i = 0; i < y.first; ++i) drawer.draw(dst_y++, y.first_src + static_cast<int32_t>(i));
  int32_t src_y = y.middle_src;
  for (int64_t i = 0; i < y.middle; ++i) {
    drawer.draw(dst_y++, src_y);
    if (++src_y >= y.tile_at) src_y = y.tile_from;
  }
  for (int64_t i = 0; i < y.last; ++i) drawer.draw(dst_y++, y.last_src + static_cast<int32_t>(i));
}

}  // namespace lv
