#include "skin/surface.h"

#include <gtest/gtest.h>

#include "base/log.h"
#include "skin/canvas.h"
#include "skin/render_surface.h"

namespace lv {
namespace {

TEST(Surface, RowsAreClearedWholeWordsAndSidesAreCapped) {
  auto s = Surface::create(5, 3);
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->pitch() == 12u && Surface::pitch_for(1) == 4u && s->row(2) == s->row(0) + 12);
  EXPECT_TRUE(std::all_of(s->row(0), s->row(0) + 18, [](uint16_t p) { return p == 0; }));
  // 65536 x 32768 is exactly 4 GiB: in 32 bits pitch x height wraps to 0.
  constexpr int32_t kLong = Surface::kMaxSide + 1;
  const int32_t refused[][2] = {{0, 10},    {10, 0},    {-1, 10},      {10, INT32_MIN},
                                {kLong, 1}, {1, kLong}, {65536, 32768}};
  for (const auto [w, h] : refused) EXPECT_FALSE(Surface::create(w, h)) << w << " x " << h;
  // Foreign pixels: no pixels, a pitch shorter than a row, an odd pitch, no
  // width are refused; an unpadded even pitch is fine.
  std::vector<uint16_t> memory(5 * 4);
  EXPECT_FALSE(Surface::wrap(nullptr, 5, 4, 12) || Surface::wrap(memory.data(), 5, 4, 8) ||
               Surface::wrap(memory.data(), 5, 4, 11) || Surface::wrap(memory.data(), 0, 4, 12));
  EXPECT_TRUE(Surface::wrap(memory.data(), 5, 4, 10));
  auto wide = Surface::create(Surface::kMaxSide, 2);
  wide->set_pixel(Surface::kMaxSide - 1, 1, 0xABCD);
  EXPECT_EQ(wide->pixel(Surface::kMaxSide - 1, 1), 0xABCD);
}

TEST(Canvas, ClipIsCutToTheSurfaceAndGuardsRestoreItExactly) {
  auto s = Surface::create(100, 80);
  Canvas canvas(s.get());
  canvas.set_clip({12, 6}, {4, 9});
  EXPECT_EQ(canvas.clip(), (Rect{12, 6, 12, 6})) << "an empty clip collapses onto its corner";
  canvas.set_clip({-5, 5}, {130, 70});
  EXPECT_EQ(canvas.clip(), (Rect{0, 5, 100, 70}));
  {
    ClipGuard outer(canvas, {10, 20}, {50, 40});
    {
      ClipGuard inner(canvas, {0, 50}, {30, 100});
      EXPECT_TRUE(canvas.clip() == (Rect{10, 50, 30, 60}) && canvas.clip_in_effect() == 2);
    }
    EXPECT_EQ(canvas.clip(), (Rect{10, 20, 60, 60}));
    {
      // Sizes near the limits saturate instead of wrapping.
      ClipGuard far(canvas, {INT32_MAX - 5, 0}, {100, 10});
      EXPECT_TRUE(canvas.effective_clip().empty());
    }
    ClipGuard huge(canvas, {12, 23}, {INT32_MAX, INT32_MAX});
    EXPECT_EQ(canvas.clip(), (Rect{12, 23, 60, 60}));
  }
  EXPECT_TRUE(canvas.clip() == (Rect{0, 5, 100, 70}) && canvas.clip_in_effect() == 0);
  Canvas empty;
  empty.set_clip({1, 1}, {5, 5});
  EXPECT_TRUE(empty.effective_clip().empty()) << "no surface: the clip stays empty";
}

TEST(RenderSurface, RecreateTakeAndAdoptKeepThePixelAccount) {
  const int64_t base = RenderSurface::pixel_account();
  RenderSurface rs(100, 50);
  EXPECT_EQ(RenderSurface::pixel_account(), base + 5000);
  EXPECT_TRUE(!rs.recreate(100, 50) && rs.recreate(10, 10)) << "only a new size is a change";
  EXPECT_TRUE(rs.clip() == (Rect{0, 0, 10, 10}) && RenderSurface::pixel_account() == base + 100);
  rs.surface()->set_pixel(1, 1, 0x1234);
  std::unique_ptr<Surface> taken = rs.take_surface();
  EXPECT_TRUE(rs.clip() == Rect{} && RenderSurface::pixel_account() == base);
  Surface* raw = taken.get();
  rs.adopt_surface(std::move(taken));
  EXPECT_EQ(rs.clip(), (Rect{0, 0, 10, 10}));
  // A second owner of the same surface hands it back: it must stay alive.
  rs.adopt_surface(std::unique_ptr<Surface>(raw));
  EXPECT_EQ(rs.surface()->pixel(1, 1), 0x1234);
  EXPECT_EQ(RenderSurface::pixel_account(), base + 100);
  // A refused size leaves it empty.
  EXPECT_TRUE(rs.recreate(Surface::kMaxSide + 1, 4) && rs.surface() == nullptr);
  EXPECT_TRUE(!rs.recreate(0, 0) && RenderSurface::pixel_account() == base);
}

TEST(RenderSurfaceDeathTest, ChangingTheSurfaceUnderAClipGuardStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* stop = "Gluck: Clip is in effect, cannot resize @ RenderSurface::recreate";
  RenderSurface rs(10, 10);
  ClipGuard guard(rs, {0, 0}, {5, 5});
  EXPECT_TRUE(!rs.recreate(10, 10) && rs.clip() == (Rect{0, 0, 5, 5}))
      << "the same size is harmless";
  EXPECT_EXIT(rs.recreate(20, 20), ::testing::ExitedWithCode(kFatalExitCode), stop);
  EXPECT_EXIT(rs.take_surface(), ::testing::ExitedWithCode(kFatalExitCode), stop);
  EXPECT_EXIT(rs.adopt_surface(nullptr), ::testing::ExitedWithCode(kFatalExitCode), stop);
}

}  // namespace
}  // namespace lv
