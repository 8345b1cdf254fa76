#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "skin/blit.h"
#include "skin/canvas.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {
namespace {

constexpr uint16_t kBackground = 0x0101;

// Bitmap pixels name their position: 0x1000 + y * 64 + x.
std::unique_ptr<Surface> numbered(int32_t width, int32_t height) {
  auto s = Surface::create(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) s->set_pixel(x, y, uint16_t(0x1000 + y * 64 + x));
  return s;
}
int32_t column_of(uint16_t p) {
  return (p - 0x1000) % 64;
}
int32_t row_of(uint16_t p) {
  return (p - 0x1000) / 64;
}

std::unique_ptr<Surface> blank(int32_t width, int32_t height) {
  auto s = Surface::create(width, height);
  s->fill(kBackground);
  return s;
}

PictureView region(const Surface& bitmap, Point p0, Point p1, Point p2, Point p3, int scale = 0) {
  return PictureView{&bitmap, p0, p1, p2, p3, scale};
}

std::vector<int32_t> columns(const Surface& s, int32_t y, int32_t from, int32_t to) {
  std::vector<int32_t> c;
  for (int32_t x = from; x < to; ++x) c.push_back(column_of(s.pixel(x, y)));
  return c;
}

const CopyBlitter kCopy;

TEST(PictureRegion, NarrowerThanBothMarginsSharesThem) {
  // Margins of 10 and 10 around a 10-pixel inner part, drawn 15 wide.
  auto bitmap = numbered(30, 1);
  auto dst = blank(15, 1);
  Canvas canvas(dst.get());
  draw_picture_region(canvas, {0, 0}, {15, 1}, region(*bitmap, {0, 0}, {10, 0}, {20, 1}, {30, 1}),
                      kCopy);
  EXPECT_EQ(columns(*dst, 0, 0, 15),
            (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 10, 23, 24, 25, 26, 27, 28, 29}));
}

TEST(PictureRegion, WiderThanTheMarginsRepeatsTheInnerPart) {
  auto bitmap = numbered(10, 8);
  auto dst = blank(20, 12);
  Canvas canvas(dst.get());
  // Margins 2 and 3 wide, inner columns 2..6; margins 1 and 2 high, inner rows 1..5.
  draw_picture_region(canvas, {1, 0}, {17, 11}, region(*bitmap, {0, 0}, {2, 1}, {7, 6}, {10, 8}),
                      kCopy);
  EXPECT_EQ(columns(*dst, 0, 0, 20), (std::vector<int32_t>{column_of(kBackground),
                                                           0,
                                                           1,
                                                           2,
                                                           3,
                                                           4,
                                                           5,
                                                           6,
                                                           2,
                                                           3,
                                                           4,
                                                           5,
                                                           6,
                                                           2,
                                                           3,
                                                           7,
                                                           8,
                                                           9,
                                                           column_of(kBackground),
                                                           column_of(kBackground)}));
  std::vector<int32_t> rows;
  for (int32_t y = 0; y < 11; ++y) rows.push_back(row_of(dst->pixel(1, y)));
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 1, 2, 3, 6, 7}));
  EXPECT_EQ(dst->pixel(5, 11), kBackground);
}

TEST(PictureRegion, WithoutMarginsTheBitmapTilesBothWays) {
  auto bitmap = numbered(3, 2);
  auto dst = blank(8, 5);
  Canvas canvas(dst.get());
  draw_picture_region(canvas, {0, 0}, {8, 5}, region(*bitmap, {0, 0}, {0, 0}, {3, 2}, {3, 2}),
                      kCopy);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      ASSERT_EQ(column_of(dst->pixel(x, y)), x % 3);
      ASSERT_EQ(row_of(dst->pixel(x, y)), y % 2);
    }
}

TEST(PictureRegion, SkinScaleMagnifiesEveryBitmapPixel) {
  // Scale 1: points in doubled units, each bitmap pixel 2 x 2 on screen.
  auto bitmap = numbered(6, 4);
  auto dst = blank(16, 8);
  Canvas canvas(dst.get());
  draw_picture_region(canvas, {0, 0}, {16, 8}, region(*bitmap, {0, 0}, {2, 2}, {10, 6}, {12, 8}, 1),
                      kCopy);
  // First margin: bitmap column 0 (2 px); middle 12 px cycling columns 1..4 (8 units);
  // last margin: column 5.
  EXPECT_EQ(columns(*dst, 0, 0, 16),
            (std::vector<int32_t>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 1, 1, 2, 2, 5, 5}));
  EXPECT_EQ(row_of(dst->pixel(0, 1)), 0);
  EXPECT_EQ(row_of(dst->pixel(0, 2)), 1);
  EXPECT_EQ(row_of(dst->pixel(0, 7)), 3);
}

// Drawing through a clip, or partly off the surface, must give exactly the
// matching window of the unclipped drawing.
void expect_clipped_matches_full(Point pos, Size size, const PictureView& picture, Rect clip) {
  const int32_t margin = 40;
  auto full = blank(size.width + 2 * margin, size.height + 2 * margin);
  Canvas full_canvas(full.get());
  draw_picture_region(full_canvas, {margin, margin}, size, picture, kCopy);

  auto dst = blank(30, 24);
  Canvas canvas(dst.get());
  {
    ClipGuard guard(canvas, {clip.left, clip.top}, {clip.width(), clip.height()});
    draw_picture_region(canvas, pos, size, picture, kCopy);
  }
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 30; ++x) {
      const bool inside_clip = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
      const int32_t fx = x - pos.x + margin, fy = y - pos.y + margin;
      const bool inside_full =
          fx >= 0 && fy >= 0 && fx < int32_t(full->width()) && fy < int32_t(full->height());
      const uint16_t expected =
          inside_clip && inside_full ? full->pixel(fx, fy) : uint16_t(kBackground);
      ASSERT_EQ(dst->pixel(x, y), expected)
          << "at " << x << "," << y << " drawn at " << pos.x << "," << pos.y;
    }
}

TEST(PictureRegion, ClippingAtBothEndsKeepsThePhase) {
  auto bitmap = numbered(12, 10);
  const PictureView picture = region(*bitmap, {1, 0}, {4, 2}, {7, 5}, {11, 9});
  const Rect whole{0, 0, 30, 24};
  for (int32_t x : {-40, -25, -9, -4, -2, 0, 3, 17, 29})
    for (int32_t y : {-30, -11, -3, 0, 5, 20})
      expect_clipped_matches_full({x, y}, {50, 40}, picture, whole);
  // Inner clips cutting into each part, and a picture smaller than its margins.
  expect_clipped_matches_full({2, 1}, {27, 20}, picture, {5, 4, 9, 7});
  expect_clipped_matches_full({2, 1}, {27, 20}, picture, {11, 10, 30, 24});
  expect_clipped_matches_full({-3, -2}, {5, 4}, picture, {0, 0, 30, 24});
  expect_clipped_matches_full({1, 1}, {6, 5}, picture, {2, 2, 5, 4});
  const PictureView scaled = region(*bitmap, {2, 0}, {6, 4}, {12, 10}, {20, 16}, 1);
  for (int32_t x : {-31, -7, -1, 4})
    expect_clipped_matches_full({x, x / 2}, {45, 37}, scaled, whole);
}

TEST(PictureRegion, AtMostThreeRowCallsPerRowAndOnlyVisibleRows) {
  class Counting final : public RowBlitter {
   public:
    void copy_row(uint16_t*, uint16_t*, const uint16_t*, int32_t, int32_t) const override {}
    void scaled_row(uint16_t*, uint16_t*, const uint16_t*, int32_t, int32_t,
                    int32_t) const override {}
    void magnified_row(uint16_t*, const uint16_t*, int32_t, int32_t, int32_t,
                       int32_t) const override {
      ++calls;
    }
    void tiled_magnified_row(uint16_t*, const uint16_t*, int32_t, int32_t, int32_t, int32_t,
                             int32_t, int32_t) const override {
      ++calls;
    }
    std::unique_ptr<RowBlitter> clone() const override { return std::make_unique<Counting>(); }
    mutable int calls = 0;
  } counting;
  auto bitmap = numbered(10, 10);
  auto dst = blank(100, 50);
  Canvas canvas(dst.get());
  draw_picture_region(canvas, {-1000, -1000}, {100000, 100000},
                      region(*bitmap, {0, 0}, {3, 3}, {7, 7}, {10, 10}), counting);
  EXPECT_EQ(counting.calls, 50) << "one tiled call for each visible row";
  counting.calls = 0;
  draw_picture_region(canvas, {0, 0}, {100, 50}, region(*bitmap, {0, 0}, {3, 3}, {7, 7}, {10, 10}),
                      counting);
  EXPECT_EQ(counting.calls, 150);
}

TEST(PictureRegion, EmptyInnerPartIsFilledWithTheMarginEdge) {
  auto bitmap = numbered(20, 20);
  auto dst = blank(30, 3);
  Canvas canvas(dst.get());
  // P1 = P2 on x: margins 10 and 10 with nothing between, drawn 30 wide.
  draw_picture_region(canvas, {0, 0}, {30, 3}, region(*bitmap, {0, 0}, {10, 0}, {10, 20}, {20, 20}),
                      kCopy);
  std::vector<int32_t> expected;
  for (int32_t x = 0; x < 10; ++x) expected.push_back(x);
  for (int32_t x = 0; x < 10; ++x) expected.push_back(9);
  for (int32_t x = 10; x < 20; ++x) expected.push_back(x);
  EXPECT_EQ(columns(*dst, 0, 0, 30), expected);

  // Odd size below both margins: the one middle pixel is the edge too.
  auto narrow = blank(15, 1);
  Canvas narrow_canvas(narrow.get());
  draw_picture_region(narrow_canvas, {0, 0}, {15, 1},
                      region(*bitmap, {0, 0}, {10, 0}, {10, 1}, {20, 1}), kCopy);
  EXPECT_EQ(columns(*narrow, 0, 0, 15),
            (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 9, 13, 14, 15, 16, 17, 18, 19}));

  // No first margin either: the last margin's first pixel fills the middle.
  auto right = blank(8, 1);
  Canvas right_canvas(right.get());
  draw_picture_region(right_canvas, {0, 0}, {8, 1}, region(*bitmap, {4, 0}, {4, 0}, {4, 1}, {7, 1}),
                      kCopy);
  EXPECT_EQ(columns(*right, 0, 0, 8), (std::vector<int32_t>{4, 4, 4, 4, 4, 4, 5, 6}));
}

TEST(PictureRegion, DegenerateRegionsDrawNothingOrStayInTheBitmap) {
  auto bitmap = numbered(6, 6);
  auto dst = blank(10, 10);
  Canvas canvas(dst.get());
  auto untouched = [&] {
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x)
        if (dst->pixel(x, y) != kBackground) return false;
    return true;
  };
  draw_picture_region(canvas, {0, 0}, {10, 10}, region(*bitmap, {3, 0}, {3, 0}, {3, 6}, {3, 6}),
                      kCopy);
  EXPECT_TRUE(untouched()) << "zero-width region";
  draw_picture_region(canvas, {0, 0}, {0, 10}, region(*bitmap, {0, 0}, {1, 1}, {5, 5}, {6, 6}),
                      kCopy);
  draw_picture_region(canvas, {0, 0}, {-4, 10}, region(*bitmap, {0, 0}, {1, 1}, {5, 5}, {6, 6}),
                      kCopy);
  draw_picture_region(canvas, {0, 0}, {10, 10}, PictureView{}, kCopy);
  draw_picture_region(canvas, {0, 0}, {10, 10},
                      region(*bitmap, {9, 9}, {12, 12}, {20, 20}, {30, 30}), kCopy);
  EXPECT_TRUE(untouched()) << "a region wholly outside the bitmap clamps to nothing";
  Canvas no_surface;
  draw_picture_region(no_surface, {0, 0}, {10, 10}, region(*bitmap, {0, 0}, {1, 1}, {5, 5}, {6, 6}),
                      kCopy);

  // Points past the bitmap and out of order are clamped into it.
  draw_picture_region(canvas, {0, 0}, {10, 10},
                      region(*bitmap, {-5, -5}, {8, 2}, {1, 4}, {100, 100}), kCopy);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      const uint16_t p = dst->pixel(x, y);
      ASSERT_GE(p, 0x1000);
      ASSERT_LT(column_of(p), 6);
      ASSERT_LT(row_of(p), 6);
    }
  EXPECT_EQ(columns(*dst, 0, 0, 4), (std::vector<int32_t>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace lv
