#include "skin/surface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "skin/canvas.h"

namespace lv {
namespace {

TEST(Surface, PitchRoundsRowsUpToWholeWords) {
  EXPECT_EQ(Surface::pitch_for(1), 4u);
  EXPECT_EQ(Surface::pitch_for(3), 8u);
  EXPECT_EQ(Surface::pitch_for(4), 8u);
  EXPECT_EQ(Surface::pitch_for(5), 12u);
  auto s = Surface::create(5, 3);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->pitch(), 12u);
  EXPECT_EQ(s->width(), 5u);
  EXPECT_EQ(s->height(), 3u);
  EXPECT_TRUE(s->owns_pixels());
  for (uint32_t y = 0; y < 3; ++y) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s->row(y)) % 4, 0u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(s->row(y)) - s->bytes(), ptrdiff_t(y * 12));
    for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(s->pixel(x, y), 0) << "new surfaces are cleared";
  }
}

TEST(Surface, SizesOutsideTheCapYieldNoSurface) {
  EXPECT_FALSE(Surface::create(0, 10));
  EXPECT_FALSE(Surface::create(10, 0));
  EXPECT_FALSE(Surface::create(-1, 10));
  EXPECT_FALSE(Surface::create(10, INT32_MIN));
  EXPECT_FALSE(Surface::create(Surface::kMaxSide + 1, 1));
  EXPECT_FALSE(Surface::create(1, Surface::kMaxSide + 1));
  // 65536 x 32768 would be exactly 4 GiB: with 32-bit arithmetic pitch x
  // height wraps to 0 and a tiny buffer would be overrun.
  EXPECT_FALSE(Surface::create(65536, 32768));
  EXPECT_FALSE(Surface::create(INT32_MAX, INT32_MAX));
  auto wide = Surface::create(Surface::kMaxSide, 2);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->pitch(), uint32_t(Surface::kMaxSide) * 2);
  wide->set_pixel(Surface::kMaxSide - 1, 1, 0xABCD);
  EXPECT_EQ(wide->pixel(Surface::kMaxSide - 1, 1), 0xABCD);
}

TEST(Surface, WrapLaysAViewOverForeignMemory) {
  std::vector<uint16_t> memory(6 * 4, 0);
  {
    auto s = Surface::wrap(memory.data(), 5, 4, 12);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->owns_pixels());
    s->set_pixel(4, 3, 0x1234);
    s->fill(0x0F0F);
  }
  // The sixth word of each row lies outside the surface and stays.
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(memory[y * 6 + x], 0x0F0F);
    EXPECT_EQ(memory[y * 6 + 5], 0);
  }
  EXPECT_FALSE(Surface::wrap(nullptr, 5, 4, 12));
  EXPECT_FALSE(Surface::wrap(memory.data(), 5, 4, 8)) << "pitch shorter than a row";
  EXPECT_FALSE(Surface::wrap(memory.data(), 5, 4, 11)) << "odd pitch";
  EXPECT_FALSE(Surface::wrap(memory.data(), 0, 4, 12));
  EXPECT_TRUE(Surface::wrap(memory.data(), 5, 4, 10)) << "an unpadded even pitch is fine";
}

TEST(Surface, ViewSharesPixelsOfASubRectangle) {
  auto parent = Surface::create(8, 6);
  ASSERT_TRUE(parent);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 8; ++x) parent->set_pixel(x, y, uint16_t(y * 16 + x));
  auto view = Surface::view(*parent, {3, 2, 6, 5});
  ASSERT_TRUE(view);
  EXPECT_EQ(view->size(), (Size{3, 3}));
  EXPECT_EQ(view->pitch(), parent->pitch());
  EXPECT_EQ(view->pixel(0, 0), 2 * 16 + 3);
  EXPECT_EQ(view->pixel(2, 2), 4 * 16 + 5);
  view->set_pixel(1, 1, 0xFFFF);
  EXPECT_EQ(parent->pixel(4, 3), 0xFFFF);

  auto cut = Surface::view(*parent, {-4, 4, 100, 100});
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->size(), (Size{8, 2}));
  EXPECT_EQ(cut->pixel(0, 0), 4 * 16);
  EXPECT_FALSE(Surface::view(*parent, {8, 0, 10, 6}));
  EXPECT_FALSE(Surface::view(*parent, {2, 2, 2, 5}));
}

TEST(Canvas, ClipStartsAtTheSurfaceAndIsCutToIt) {
  auto s = Surface::create(20, 10);
  Canvas canvas(s.get());
  EXPECT_EQ(canvas.clip(), (Rect{0, 0, 20, 10}));
  canvas.set_clip({-5, 2}, {30, 8});
  EXPECT_EQ(canvas.clip(), (Rect{0, 2, 20, 8}));
  canvas.set_clip({12, 6}, {4, 9});
  EXPECT_EQ(canvas.clip(), (Rect{12, 6, 12, 6})) << "an empty clip collapses onto its corner";

  Canvas empty;
  empty.set_clip({1, 1}, {5, 5});
  EXPECT_EQ(empty.clip(), Rect{}) << "no surface: the clip stays";
  EXPECT_TRUE(empty.effective_clip().empty());
}

TEST(Canvas, NestedClipGuardsRestoreExactly) {
  auto s = Surface::create(100, 80);
  Canvas canvas(s.get());
  canvas.set_clip({5, 5}, {90, 70});
  const Rect before = canvas.clip();
  {
    ClipGuard outer(canvas, {10, 20}, {50, 40});
    EXPECT_EQ(canvas.clip(), (Rect{10, 20, 60, 60}));
    EXPECT_EQ(canvas.clip_in_effect(), 1);
    {
      ClipGuard inner(canvas, {0, 50}, {30, 100});
      EXPECT_EQ(canvas.clip(), (Rect{10, 50, 30, 60}));
      EXPECT_EQ(canvas.clip_in_effect(), 2);
    }
    EXPECT_EQ(canvas.clip(), (Rect{10, 20, 60, 60}));
    EXPECT_EQ(canvas.clip_in_effect(), 1);
    {
      ClipGuard outside(canvas, {70, 0}, {10, 10});
      EXPECT_TRUE(canvas.clip().empty());
      EXPECT_EQ(canvas.clip().right, canvas.clip().left);
      EXPECT_EQ(canvas.clip().bottom, canvas.clip().top);
    }
  }
  EXPECT_EQ(canvas.clip(), before);
  EXPECT_EQ(canvas.clip_in_effect(), 0);
}

TEST(Canvas, ClipGuardSizesNearTheLimitsDoNotWrap) {
  auto s = Surface::create(10, 10);
  Canvas canvas(s.get());
  {
    ClipGuard far(canvas, {INT32_MAX - 5, 0}, {100, 10});
    EXPECT_TRUE(canvas.effective_clip().empty());
  }
  {
    ClipGuard huge(canvas, {2, 3}, {INT32_MAX, INT32_MAX});
    EXPECT_EQ(canvas.clip(), (Rect{2, 3, 10, 10}));
  }
  {
    ClipGuard negative(canvas, {4, 4}, {-3, 2});
    EXPECT_TRUE(canvas.clip().empty());
  }
  EXPECT_EQ(canvas.clip(), (Rect{0, 0, 10, 10}));
}

}  // namespace
}  // namespace lv
