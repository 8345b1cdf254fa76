#include "skin/blit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "skin/canvas.h"
#include "skin/dim.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {
namespace {

constexpr uint16_t kGuard = 0xDEAD;
constexpr uint16_t kBackground = 0x0101;

// A destination laid over a larger buffer: the padding at the end of every
// row and the rows below it are guard pixels that no operation may touch.
class GuardedSurface {
 public:
  GuardedSurface(int32_t width, int32_t height)
      : m_stride(width + 8), m_memory(size_t(m_stride) * (height + 4), kGuard) {
    m_surface = Surface::wrap(m_memory.data(), width, height, uint32_t(m_stride) * 2);
    m_surface->fill(kBackground);
  }
  Surface& surface() { return *m_surface; }
  uint16_t at(int32_t x, int32_t y) const { return m_surface->pixel(x, y); }

  bool guards_intact() const {
    const int32_t w = int32_t(m_surface->width()), h = int32_t(m_surface->height());
    for (int32_t y = 0; y < h + 4; ++y)
      for (int32_t x = 0; x < m_stride; ++x)
        if ((x >= w || y >= h) && m_memory[size_t(y) * m_stride + x] != kGuard) return false;
    return true;
  }

 private:
  int32_t m_stride;
  std::vector<uint16_t> m_memory;
  std::unique_ptr<Surface> m_surface;
};

// Source pixel values name their position: 0x1000 + y * 64 + x.
std::unique_ptr<Surface> numbered(int32_t width, int32_t height) {
  auto s = Surface::create(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) s->set_pixel(x, y, uint16_t(0x1000 + y * 64 + x));
  return s;
}
uint16_t number(int32_t x, int32_t y) {
  return uint16_t(0x1000 + y * 64 + x);
}

// Counts row calls and records their lengths; copies like the copy kind.
class CountingBlitter final : public RowBlitter {
 public:
  void copy_row(uint16_t* dst, uint16_t* end, const uint16_t* src, int32_t,
                int32_t) const override {
    ++calls;
    lengths.push_back(int32_t(end - dst));
    m_copy.copy_row(dst, end, src, 0, 0);
  }
  void scaled_row(uint16_t* dst, uint16_t* end, const uint16_t* src, int32_t start, int32_t step,
                  int32_t) const override {
    ++calls;
    lengths.push_back(int32_t(end - dst));
    m_copy.scaled_row(dst, end, src, start, step, 0);
  }
  void magnified_row(uint16_t* dst, const uint16_t* src, int32_t x, int32_t count, int32_t shift,
                     int32_t) const override {
    ++calls;
    lengths.push_back(count);
    m_copy.magnified_row(dst, src, x, count, shift, 0);
  }
  void tiled_magnified_row(uint16_t* dst, const uint16_t* src, int32_t x, int32_t count,
                           int32_t shift, int32_t from, int32_t at, int32_t) const override {
    ++calls;
    lengths.push_back(count);
    m_copy.tiled_magnified_row(dst, src, x, count, shift, from, at, 0);
  }
  std::unique_ptr<RowBlitter> clone() const override { return std::make_unique<CountingBlitter>(); }

  mutable int calls = 0;
  mutable std::vector<int32_t> lengths;

 private:
  CopyBlitter m_copy;
};

const Rect kNoClip{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

TEST(Blit, CopiesARectangleOneRowCallPerRow) {
  GuardedSurface dst(20, 10);
  auto src = numbered(8, 6);
  CountingBlitter counting;
  blit(dst.surface(), {3, 2}, {4, 3}, *src, {1, 2}, kNoClip, counting);
  EXPECT_EQ(counting.calls, 3);
  EXPECT_EQ(counting.lengths, (std::vector<int32_t>{4, 4, 4}));
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
      ASSERT_EQ(dst.at(x, y), inside ? number(x - 3 + 1, y - 2 + 2) : kBackground) << x << "," << y;
    }
  EXPECT_TRUE(dst.guards_intact());
}

TEST(Blit, NegativePositionShiftsTheSourceStart) {
  GuardedSurface dst(20, 10);
  auto src = numbered(12, 6);
  CountingBlitter counting;
  blit(dst.surface(), {-5, -2}, {10, 5}, *src, {0, 0}, kNoClip, counting);
  EXPECT_EQ(counting.lengths, (std::vector<int32_t>{5, 5, 5})) << "5 pixels and 2 rows fewer";
  EXPECT_EQ(dst.at(0, 0), number(5, 2));
  EXPECT_EQ(dst.at(4, 2), number(9, 4));
  EXPECT_EQ(dst.at(5, 0), kBackground);
  EXPECT_EQ(dst.at(0, 3), kBackground);
}

TEST(Blit, ClipsToClipSurfaceAndSource) {
  GuardedSurface dst(20, 10);
  auto src = numbered(6, 4);
  CopyBlitter copy;
  // A clip larger than the destination is cut to it.
  blit(dst.surface(), {17, 8}, {10, 10}, *src, {0, 0}, {-50, -50, 500, 500}, copy);
  EXPECT_EQ(dst.at(19, 9), number(2, 1));
  EXPECT_TRUE(dst.guards_intact());

  GuardedSurface clipped(20, 10);
  blit(clipped.surface(), {0, 0}, {20, 10}, *src, {2, 1}, {1, 1, 3, 9}, copy);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      // Source cut at its own size (4 x 3 from (2, 1)), then by the clip.
      const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
      ASSERT_EQ(clipped.at(x, y), inside ? number(x + 2, y + 1) : kBackground) << x << "," << y;
    }
}

TEST(Blit, NegativeSourcePositionIsClippedNotShifted) {
  GuardedSurface dst(10, 10);
  auto src = numbered(4, 4);
  CopyBlitter copy;
  blit(dst.surface(), {2, 2}, {5, 5}, *src, {-2, -1}, kNoClip, copy);
  // Source pixel (0, 0) lands where (-2, -1) would have gone plus (2, 1).
  EXPECT_EQ(dst.at(4, 3), number(0, 0));
  EXPECT_EQ(dst.at(6, 5), number(2, 2));
  EXPECT_EQ(dst.at(3, 3), kBackground);
  EXPECT_EQ(dst.at(4, 2), kBackground);
}

TEST(Blit, NothingForEmptyOrFarAwayRectangles) {
  GuardedSurface dst(10, 10);
  auto src = numbered(4, 4);
  CountingBlitter counting;
  blit(dst.surface(), {0, 0}, {0, 5}, *src, {0, 0}, kNoClip, counting);
  blit(dst.surface(), {0, 0}, {5, -1}, *src, {0, 0}, kNoClip, counting);
  blit(dst.surface(), {0, 0}, {5, 5}, *src, {4, 0}, kNoClip, counting);
  blit(dst.surface(), {INT32_MAX - 2, 0}, {INT32_MAX, 5}, *src, {0, 0}, kNoClip, counting);
  blit(dst.surface(), {INT32_MIN, 0}, {INT32_MAX, 5}, *src, {0, 0}, kNoClip, counting);
  blit(dst.surface(), {0, 0}, {5, 5}, *src, {INT32_MIN, 0}, kNoClip, counting);
  blit(dst.surface(), {3, 3}, {5, 5}, *src, {0, 0}, {5, 5, 2, 9}, counting);
  EXPECT_EQ(counting.calls, 0);
  Canvas none;
  blit(none, {0, 0}, {4, 4}, *src, {0, 0}, counting);
  EXPECT_EQ(counting.calls, 0);
  EXPECT_TRUE(dst.guards_intact());
}

TEST(Blit, CanvasFormUsesTheCanvasClip) {
  auto surface = Surface::create(10, 10);
  auto src = numbered(10, 10);
  Canvas canvas(surface.get());
  CopyBlitter copy;
  {
    ClipGuard guard(canvas, {2, 3}, {3, 2});
    blit(canvas, {0, 0}, {10, 10}, *src, {0, 0}, copy);
  }
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 3 && y < 5;
      ASSERT_EQ(surface->pixel(x, y), inside ? number(x, y) : 0);
    }
}

TEST(StretchBlit, ScalesWithFixedPointSteps) {
  GuardedSurface dst(12, 8);
  auto src = numbered(6, 4);
  CountingBlitter counting;
  // Source (1, 1) 3 x 2 doubled.
  stretch_blit(dst.surface(), {2, 1}, {6, 4}, *src, {1, 1}, {3, 2}, kNoClip, counting);
  EXPECT_EQ(counting.calls, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(dst.at(2 + x, 1 + y), number(1 + x / 2, 1 + y / 2));
  EXPECT_EQ(dst.at(1, 1), kBackground);
  EXPECT_EQ(dst.at(8, 1), kBackground);

  // Shrinking 6 -> 4: step 1536, samples 0, 1, 3, 4.
  GuardedSurface small(4, 1);
  stretch_blit(small.surface(), {0, 0}, {4, 1}, *src, {0, 0}, {6, 1}, kNoClip, counting);
  EXPECT_EQ(small.at(0, 0), number(0, 0));
  EXPECT_EQ(small.at(1, 0), number(1, 0));
  EXPECT_EQ(small.at(2, 0), number(3, 0));
  EXPECT_EQ(small.at(3, 0), number(4, 0));
}

TEST(StretchBlit, ClipAtNegativePositionsAdvancesTheSource) {
  GuardedSurface dst(6, 6);
  auto src = numbered(4, 4);
  CopyBlitter copy;
  // 4 -> 12 (step 341): destination column c samples (c * 341) >> 10.
  stretch_blit(dst.surface(), {-5, -7}, {12, 12}, *src, {0, 0}, {4, 4}, kNoClip, copy);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) {
      const int32_t sx = ((x + 5) * 341) >> 10, sy = ((y + 7) * 341) >> 10;
      ASSERT_EQ(dst.at(x, y), number(sx, sy)) << x << "," << y;
    }
  EXPECT_EQ(dst.at(0, 5), kBackground);
  EXPECT_TRUE(dst.guards_intact());
}

TEST(StretchBlit, ClipBeyondTheDestinationIsCut) {
  GuardedSurface dst(5, 3);
  auto src = numbered(2, 2);
  CopyBlitter copy;
  stretch_blit(dst.surface(), {-10, -10}, {1000, 1000}, *src, {0, 0}, {2, 2}, kNoClip, copy);
  EXPECT_TRUE(dst.guards_intact());
  EXPECT_EQ(dst.at(4, 2), number(0, 0));
}

TEST(StretchBlit, NothingForAnEmptyOrOutsideSource) {
  GuardedSurface dst(5, 5);
  auto src = numbered(4, 4);
  CountingBlitter counting;
  stretch_blit(dst.surface(), {0, 0}, {5, 5}, *src, {0, 0}, {0, 4}, kNoClip, counting);
  stretch_blit(dst.surface(), {0, 0}, {5, 5}, *src, {4, 0}, {0, 1}, kNoClip, counting);
  stretch_blit(dst.surface(), {0, 0}, {5, 5}, *src, {1, 0}, {4, 4}, kNoClip, counting);
  stretch_blit(dst.surface(), {0, 0}, {5, 5}, *src, {-1, 0}, {2, 2}, kNoClip, counting);
  stretch_blit(dst.surface(), {0, 0}, {5, 5}, *src, {0, 0}, {INT32_MAX, 2}, kNoClip, counting);
  stretch_blit(dst.surface(), {0, 0}, {0, 5}, *src, {0, 0}, {2, 2}, kNoClip, counting);
  stretch_blit(dst.surface(), {9, 0}, {5, 5}, *src, {0, 0}, {2, 2}, kNoClip, counting);
  EXPECT_EQ(counting.calls, 0);
  EXPECT_EQ(dst.at(0, 0), kBackground);
}

TEST(ApplyToRect, DimsOnlyInsideClipAndSurface) {
  GuardedSurface dst(9, 5);
  dst.surface().fill(0xFFFF);
  apply_to_rect(dst.surface(), {-2, 1}, {6, 10}, {0, 0, 100, 4}, Dimming(8));
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      const bool inside = x < 4 && y >= 1 && y < 4;
      ASSERT_EQ(dst.at(x, y), inside ? 0x7BEF : 0xFFFF) << x << "," << y;
    }
  EXPECT_TRUE(dst.guards_intact());

  // Odd start and odd width in a row: both single-pixel ends.
  dst.surface().fill(0xFFFF);
  apply_to_rect(dst.surface(), {1, 0}, {5, 1}, kNoClip, Dimming(0));
  for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(dst.at(x, 0), (x >= 1 && x < 6) ? 0 : 0xFFFF);

  auto surface = Surface::create(4, 4);
  surface->fill(0xFFFF);
  Canvas canvas(surface.get());
  canvas.set_clip({1, 1}, {3, 3});
  apply_to_rect(canvas, {0, 0}, {4, 4}, Dimming(0));
  EXPECT_EQ(surface->pixel(0, 0), 0xFFFF);
  EXPECT_EQ(surface->pixel(1, 1), 0);
  EXPECT_EQ(surface->pixel(2, 2), 0);
  EXPECT_EQ(surface->pixel(3, 2), 0xFFFF);
}

}  // namespace
}  // namespace lv
