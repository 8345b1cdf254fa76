#include "skin/blit.h"

#include <gtest/gtest.h>

#include <functional>

#include "skin/canvas.h"
#include "skin/dim.h"
#include "skin/row_blitter.h"
#include "skin/skin_test_support.h"

namespace lv {
namespace {

using test::column_of;
using test::contains;
using test::number;
using Pixels = std::function<uint16_t(int32_t, int32_t)>;
using Ints = std::vector<int32_t>;

constexpr uint16_t kGuard = 0xDEAD, kBackground = 0x0101;
const Rect kNoClip{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
const CopyBlitter kCopy;

// A destination laid over a larger buffer: the padding at the end of every
// row and the rows below it are guard pixels that no operation may touch.
class GuardedSurface {
 public:
  GuardedSurface(int32_t width, int32_t height)
      : m_stride(size_t(width) + 8), m_memory(m_stride * (height + 4), kGuard) {
    m_surface = Surface::wrap(m_memory.data(), width, height, uint32_t(m_stride) * 2);
    m_surface->fill(kBackground);
  }
  Surface& surface() { return *m_surface; }

  // The guards are intact, and every pixel is `expected(x, y)`.
  ::testing::AssertionResult holds(const Pixels& expected) {
    for (size_t i = 0; i < m_memory.size(); ++i)
      if ((i % m_stride >= m_surface->width() || i / m_stride >= m_surface->height()) &&
          m_memory[i] != kGuard)
        return ::testing::AssertionFailure() << "guard word " << i << " overwritten";
    return test::holds(*m_surface, expected);
  }

 private:
  size_t m_stride;
  std::vector<uint16_t> m_memory;
  std::unique_ptr<Surface> m_surface;
};

const Pixels kUntouched = [](int32_t, int32_t) { return kBackground; };

TEST(Blit, ClipsAtEachSideToClipSurfaceAndSource) {
  auto src = test::numbered_surface(12, 6);
  // Drawn into a 20 x 10 surface: position, size, source position, clip, and
  // the rectangle drawn.
  const std::tuple<Point, Size, Point, Rect, Rect> cases[] = {
      {{3, 2}, {4, 3}, {1, 2}, kNoClip, {3, 2, 7, 5}},
      // Left and top of the destination: the source start moves on.
      {{-5, -2}, {10, 5}, {0, 0}, kNoClip, {0, 0, 5, 3}},
      // Right and bottom of the destination, with a clip larger than it.
      {{17, 8}, {10, 10}, {0, 0}, {-50, -50, 500, 500}, {17, 8, 20, 10}},
      // The source's own size (10 x 5 from (2, 1)), then a clip inside.
      {{0, 0}, {20, 10}, {2, 1}, {1, 1, 3, 9}, {1, 1, 3, 5}},
      {{0, 0}, {20, 10}, {2, 1}, kNoClip, {0, 0, 10, 5}},
      // A negative source position is clipped, not shifted.
      {{2, 2}, {5, 5}, {-2, -1}, kNoClip, {4, 3, 7, 7}}};
  for (const auto& [pos, size, src_pos, clip, drawn] : cases) {
    GuardedSurface dst(20, 10);
    blit(dst.surface(), pos, size, *src, src_pos, clip, kCopy);
    EXPECT_TRUE(dst.holds([&](int32_t x, int32_t y) {
      return contains(drawn, x, y) ? number(x + src_pos.x - pos.x, y + src_pos.y - pos.y)
                                   : kBackground;
    })) << pos.x;
  }
  // Empty or far-away rectangles draw nothing, nor does a canvas without a
  // surface (the canvas form draws within the canvas's clip).
  GuardedSurface none(10, 10);
  for (const auto& [pos, size, src_pos, clip] :
       {std::tuple{Point{0, 0}, Size{0, 5}, Point{0, 0}, kNoClip},
        {Point{0, 0}, Size{5, -1}, Point{0, 0}, kNoClip},
        {Point{0, 0}, Size{5, 5}, Point{12, 0}, kNoClip},
        {Point{INT32_MAX - 2, 0}, Size{INT32_MAX, 5}, Point{0, 0}, kNoClip},
        {Point{INT32_MIN, 0}, Size{INT32_MAX, 5}, Point{0, 0}, kNoClip},
        {Point{0, 0}, Size{5, 5}, Point{INT32_MIN, 0}, kNoClip},
        {Point{3, 3}, Size{5, 5}, Point{0, 0}, Rect{5, 5, 2, 9}}})
    blit(none.surface(), pos, size, *src, src_pos, clip, kCopy);
  Canvas nowhere;
  blit(nowhere, {0, 0}, {4, 4}, *src, {0, 0}, kCopy);
  EXPECT_TRUE(none.holds(kUntouched));
}

TEST(Blit, ASurfaceScrolledOntoItselfKeepsEveryRow) {
  for (const int32_t width : {6, 5}) {  // gapless rows (one span) and a part of each row
    auto s = test::numbered_surface(6, 6);
    blit(*s, {0, 2}, {width, 4}, *s, {0, 0}, kNoClip, kCopy);  // down by two rows
    EXPECT_TRUE(test::holds(*s, [&](int32_t x, int32_t y) {
      return x < width && y >= 2 ? number(x, y - 2) : number(x, y);
    })) << width;
  }
}

TEST(StretchBlit, ScalesWithFixedPointStepsAndClipsAdvanceTheSource) {
  auto src = test::numbered_surface(6, 4);
  // Source (1, 1) 3 x 2 doubled.
  GuardedSurface dst(12, 8);
  stretch_blit(dst.surface(), {2, 1}, {6, 4}, *src, {1, 1}, {3, 2}, kNoClip, kCopy);
  EXPECT_TRUE(dst.holds([](int32_t x, int32_t y) {
    return x >= 2 && x < 8 && y >= 1 && y < 5 ? number(1 + (x - 2) / 2, 1 + (y - 1) / 2)
                                              : kBackground;
  }));
  // Shrinking 6 -> 4: step 1536, samples 0, 1, 3, 4.
  GuardedSurface small(4, 1);
  stretch_blit(small.surface(), {0, 0}, {4, 1}, *src, {0, 0}, {6, 1}, kNoClip, kCopy);
  EXPECT_TRUE(small.holds([](int32_t x, int32_t) { return number(x + x / 2, 0); }));
  // 4 -> 12 (step 341) at a negative position: column c samples (c * 341) >> 10.
  GuardedSurface clipped(6, 6);
  stretch_blit(clipped.surface(), {-5, -7}, {12, 12}, *src, {0, 0}, {4, 4}, kNoClip, kCopy);
  EXPECT_TRUE(clipped.holds([](int32_t x, int32_t y) {
    return y < 5 ? number(((x + 5) * 341) >> 10, ((y + 7) * 341) >> 10) : kBackground;
  }));
  GuardedSurface tiny(5, 3);  // far larger than the surface
  stretch_blit(tiny.surface(), {-10, -10}, {1000, 1000}, *src, {0, 0}, {2, 2}, kNoClip, kCopy);
  EXPECT_TRUE(tiny.holds([](int32_t, int32_t) { return number(0, 0); }));
  // Source rectangles empty, outside or reaching past the source, and
  // destinations empty or off the surface, draw nothing.
  GuardedSurface none(5, 5);
  for (const auto& [pos, size, src_pos, src_size] :
       {std::tuple{Point{0, 0}, Size{5, 5}, Point{0, 0}, Size{0, 4}},
        {Point{0, 0}, Size{5, 5}, Point{1, 0}, Size{6, 4}},
        {Point{0, 0}, Size{5, 5}, Point{-1, 0}, Size{2, 2}},
        {Point{0, 0}, Size{5, 5}, Point{0, 0}, Size{INT32_MAX, 2}},
        {Point{0, 0}, Size{0, 5}, Point{0, 0}, Size{2, 2}},
        {Point{9, 0}, Size{5, 5}, Point{0, 0}, Size{2, 2}}})
    stretch_blit(none.surface(), pos, size, *src, src_pos, src_size, kNoClip, kCopy);
  EXPECT_TRUE(none.holds(kUntouched));
}

TEST(ApplyToRect, DimsOnlyInsideClipAndSurface) {
  GuardedSurface dst(9, 5);
  dst.surface().fill(0xFFFF);
  apply_to_rect(dst.surface(), {-2, 1}, {6, 10}, {0, 0, 100, 4}, Dimming(8));
  EXPECT_TRUE(dst.holds([](int32_t x, int32_t y) {
    return x < 4 && y >= 1 && y < 4 ? uint16_t(0x7BEF) : uint16_t(0xFFFF);
  }));
  // Odd start and odd width in a row: both single-pixel ends.
  dst.surface().fill(0xFFFF);
  apply_to_rect(dst.surface(), {1, 0}, {5, 1}, kNoClip, Dimming(0));
  EXPECT_TRUE(dst.holds([](int32_t x, int32_t y) {
    return y == 0 && x >= 1 && x < 6 ? uint16_t(0) : uint16_t(0xFFFF);
  }));
}

// The bitmap columns (or rows) drawn along the first row (or column) of a
// surface `length` pixels long, a box of `box` (the whole length) drawn at
// `at`; "-" where nothing was drawn.
std::string drawn_line(const PictureView& picture, int32_t length, bool down = false,
                       int32_t at = 0, int32_t box = INT32_MIN) {
  box = box == INT32_MIN ? length : box;
  auto dst = test::filled_surface(down ? 1 : length, down ? length : 1, kBackground);
  Canvas canvas(dst.get());
  draw_picture_region(canvas, down ? Point{0, at} : Point{at, 0},
                      down ? Size{1, box} : Size{box, 1}, picture, kCopy);
  std::string line;
  for (int32_t i = 0; i < length; ++i) {
    const uint16_t p = down ? dst->pixel(0, i) : dst->pixel(i, 0);
    line += (i ? " " : "") +
            (p == kBackground ? "-" : std::to_string(down ? test::row_of(p) : column_of(p)));
  }
  return line;
}

// Numbered 30 x 20: each region below names its corners P0, P1, P2, P3.
const auto kArt = test::numbered_surface(30, 20);
PictureView region(Point p0, Point p1, Point p2, Point p3, int scale = 0) {
  return PictureView{kArt.get(), p0, p1, p2, p3, scale};
}

TEST(PictureRegion, MarginsKeptTheInnerPartRepeatedOrSharedAndAnEmptyOneFilledWithTheEdge) {
  const std::tuple<PictureView, int32_t, bool, std::string> cases[] = {
      // Margins 2 and 3 wide around inner columns 2..6; rows: margins 1 and 2.
      {region({0, 0}, {2, 1}, {7, 6}, {10, 8}), 17, false, "0 1 2 3 4 5 6 2 3 4 5 6 2 3 7 8 9"},
      {region({0, 0}, {2, 1}, {7, 6}, {10, 8}), 11, true, "0 1 2 3 4 5 1 2 3 6 7"},
      // Without margins the bitmap tiles.
      {region({0, 0}, {0, 0}, {3, 2}, {3, 2}), 8, false, "0 1 2 0 1 2 0 1"},
      // Margins of 10 around a 10-pixel inner part, drawn 15 wide: 7 of the
      // first, the middle's first pixel, 7 of the last; drawn 14 wide, the
      // last margin gives one pixel less. A margin too narrow for its half (2
      // of 4) leaves the rest to the other one.
      {region({0, 0}, {10, 0}, {20, 1}, {30, 1}), 15, false,
       "0 1 2 3 4 5 6 10 23 24 25 26 27 28 29"},
      {region({0, 0}, {10, 0}, {20, 1}, {30, 1}), 14, false, "0 1 2 3 4 5 6 10 24 25 26 27 28 29"},
      {region({8, 0}, {10, 0}, {21, 1}, {30, 1}), 8, false, "8 9 10 25 26 27 28 29"},
      // P1 = P2 on x: margins of 10 with nothing between; the middle is the
      // edge, also the one middle pixel of an odd size below both margins,
      // and the last margin's first pixel when there is no first margin.
      {region({0, 0}, {10, 0}, {10, 20}, {20, 20}), 26, false,
       "0 1 2 3 4 5 6 7 8 9 9 9 9 9 9 9 10 11 12 13 14 15 16 17 18 19"},
      {region({0, 0}, {10, 0}, {10, 1}, {20, 1}), 15, false,
       "0 1 2 3 4 5 6 9 13 14 15 16 17 18 19"},
      {region({4, 0}, {4, 0}, {4, 1}, {7, 1}), 8, false, "4 4 4 4 4 4 5 6"}};
  for (const auto& [picture, length, down, columns] : cases)
    EXPECT_EQ(drawn_line(picture, length, down), columns);
}

TEST(PictureRegion, DegenerateRegionsDrawNothingOrStayInTheBitmap) {
  const PictureView good = region({0, 0}, {1, 1}, {5, 5}, {6, 6});
  // A zero-width region, boxes of no width, no bitmap, and a region wholly
  // outside the bitmap (clamped to nothing).
  for (const auto& [box, picture] : {std::pair{10, region({3, 0}, {3, 0}, {3, 6}, {3, 6})},
                                     {0, good},
                                     {-4, good},
                                     {10, PictureView{}},
                                     {10, region({39, 29}, {42, 32}, {50, 50}, {60, 60})}})
    EXPECT_EQ(drawn_line(picture, 10, false, 0, box), "- - - - - - - - - -") << box;
  Canvas no_surface;
  draw_picture_region(no_surface, {0, 0}, {10, 10}, good, kCopy);
  // A huge rectangle far off the surface draws only the visible part.
  EXPECT_EQ(drawn_line(region({0, 0}, {0, 0}, {6, 6}, {6, 6}), 8, false, -1000, 100000),
            "4 5 0 1 2 3 4 5");
  // Points past the bitmap and out of order are clamped into it.
  auto dst = test::filled_surface(10, 10, kBackground);
  Canvas canvas(dst.get());
  draw_picture_region(canvas, {0, 0}, {10, 10}, region({-5, -5}, {38, 2}, {1, 4}, {100, 100}),
                      kCopy);
  EXPECT_TRUE(std::all_of(dst->row(0), dst->row(0) + 100, [](uint16_t p) {
    return p >= 0x1000 && column_of(p) < 30 && test::row_of(p) < 20;
  }));
  EXPECT_EQ(column_of(dst->pixel(3, 0)), 3);
}

}  // namespace
}  // namespace lv
