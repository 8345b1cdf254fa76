#include "skin/render_surface.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/base/log.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {
namespace {

constexpr const char* kClipStop =
    "Gluck: Clip is in effect, cannot resize @ RenderSurface::recreate";

TEST(RenderSurface, RecreateKeepsThePixelAccount) {
  const int64_t base = RenderSurface::pixel_account();
  RenderSurface empty;
  EXPECT_EQ(empty.surface(), nullptr);
  EXPECT_EQ(empty.clip(), Rect{});
  EXPECT_FALSE(empty.recreate(0, 0));

  RenderSurface rs(100, 50);
  ASSERT_NE(rs.surface(), nullptr);
  EXPECT_EQ(rs.size(), (Size{100, 50}));
  EXPECT_EQ(rs.clip(), (Rect{0, 0, 100, 50}));
  EXPECT_EQ(RenderSurface::pixel_account(), base + 5000);

  EXPECT_FALSE(rs.recreate(100, 50));
  EXPECT_EQ(RenderSurface::pixel_account(), base + 5000);

  EXPECT_TRUE(rs.recreate(10, 10));
  EXPECT_EQ(RenderSurface::pixel_account(), base + 100);
  EXPECT_EQ(rs.clip(), (Rect{0, 0, 10, 10}));
  EXPECT_EQ(rs.surface()->pixel(9, 9), 0);

  {
    RenderSurface other(7, 3);
    EXPECT_EQ(RenderSurface::pixel_account(), base + 121);
  }
  EXPECT_EQ(RenderSurface::pixel_account(), base + 100);

  EXPECT_TRUE(rs.recreate(0, 0));
  EXPECT_EQ(rs.surface(), nullptr);
  EXPECT_EQ(rs.size(), Size{});
  EXPECT_EQ(RenderSurface::pixel_account(), base);
}

TEST(RenderSurface, AFailedOrRefusedAllocationLeavesItEmpty) {
  const int64_t base = RenderSurface::pixel_account();
  RenderSurface rs(20, 20);
  EXPECT_TRUE(rs.recreate(Surface::kMaxSide + 1, 4));
  EXPECT_EQ(rs.surface(), nullptr);
  EXPECT_EQ(rs.clip(), Rect{});
  EXPECT_EQ(RenderSurface::pixel_account(), base);
  EXPECT_TRUE(rs.recreate(-3, 4));
  EXPECT_EQ(rs.surface(), nullptr);
}

TEST(RenderSurface, TakeAndAdoptMoveOwnership) {
  const int64_t base = RenderSurface::pixel_account();
  RenderSurface rs(4, 5);
  rs.surface()->set_pixel(1, 1, 0x1234);
  std::unique_ptr<Surface> taken = rs.take_surface();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->pixel(1, 1), 0x1234);
  EXPECT_EQ(rs.surface(), nullptr);
  EXPECT_EQ(rs.clip(), Rect{});
  EXPECT_EQ(RenderSurface::pixel_account(), base);
  EXPECT_FALSE(rs.take_surface());

  Surface* raw = taken.get();
  rs.adopt_surface(std::move(taken));
  EXPECT_EQ(rs.surface(), raw);
  EXPECT_EQ(rs.clip(), (Rect{0, 0, 4, 5}));
  EXPECT_EQ(RenderSurface::pixel_account(), base + 20);

  // A second owner of the same surface hands it back: it must stay alive.
  rs.adopt_surface(std::unique_ptr<Surface>(raw));
  EXPECT_EQ(rs.surface(), raw);
  EXPECT_EQ(rs.surface()->pixel(1, 1), 0x1234);
  EXPECT_EQ(RenderSurface::pixel_account(), base + 20);

  rs.adopt_surface(Surface::create(3, 3));
  EXPECT_EQ(rs.size(), (Size{3, 3}));
  EXPECT_EQ(RenderSurface::pixel_account(), base + 9);
  rs.adopt_surface(nullptr);
  EXPECT_EQ(rs.surface(), nullptr);
  EXPECT_EQ(RenderSurface::pixel_account(), base);
}

TEST(RenderSurface, DrawOntoAndStretchOnto) {
  RenderSurface source(2, 2);
  source.surface()->set_pixel(0, 0, 1);
  source.surface()->set_pixel(1, 0, 2);
  source.surface()->set_pixel(0, 1, 3);
  source.surface()->set_pixel(1, 1, 4);
  RenderSurface target(6, 4);
  CopyBlitter copy;
  source.draw_onto(target, {-1, 3}, copy);
  EXPECT_EQ(target.surface()->pixel(0, 3), 2);
  EXPECT_EQ(target.surface()->pixel(1, 3), 0);

  source.stretch_onto(target, {2, 0}, {4, 2}, copy);
  const uint16_t expected[2][4] = {{1, 1, 2, 2}, {3, 3, 4, 4}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(target.surface()->pixel(2 + x, y), expected[y][x]);

  RenderSurface nothing;
  nothing.draw_onto(target, {0, 0}, copy);
  nothing.stretch_onto(target, {0, 0}, {6, 4}, copy);
  EXPECT_EQ(target.surface()->pixel(0, 0), 0);
}

using RenderSurfaceDeathTest = ::testing::Test;

TEST_F(RenderSurfaceDeathTest, ChangingTheSurfaceUnderAClipGuardStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        RenderSurface rs(10, 10);
        ClipGuard guard(rs, {0, 0}, {5, 5});
        rs.recreate(20, 20);
      },
      ::testing::ExitedWithCode(kFatalExitCode), kClipStop);
  EXPECT_EXIT(
      {
        RenderSurface rs(10, 10);
        ClipGuard guard(rs, {0, 0}, {5, 5});
        auto s = rs.take_surface();
      },
      ::testing::ExitedWithCode(kFatalExitCode), kClipStop);
  EXPECT_EXIT(
      {
        RenderSurface rs(10, 10);
        ClipGuard guard(rs, {0, 0}, {5, 5});
        rs.adopt_surface(Surface::create(2, 2));
      },
      ::testing::ExitedWithCode(kFatalExitCode), kClipStop);
}

TEST(RenderSurface, RecreateToTheSameSizeUnderAGuardIsHarmless) {
  RenderSurface rs(10, 10);
  ClipGuard guard(rs, {0, 0}, {5, 5});
  EXPECT_FALSE(rs.recreate(10, 10));
  EXPECT_EQ(rs.clip(), (Rect{0, 0, 5, 5}));
}

}  // namespace
}  // namespace lv
