#include "display/display.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "display/offscreen_surface.h"
#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {
namespace {

using platform::Window;
using platform::WindowBackend;

void paint_pattern(Surface& surface) {
  for (uint32_t y = 0; y < surface.height(); ++y)
    for (uint32_t x = 0; x < surface.width(); ++x)
      surface.set_pixel(x, y, static_cast<uint16_t>((x * 37 + y * 1021) & 0xFFFF));
}

void expect_pattern(const Surface& surface) {
  for (uint32_t y = 0; y < surface.height(); ++y)
    for (uint32_t x = 0; x < surface.width(); ++x)
      ASSERT_EQ(surface.pixel(x, y), static_cast<uint16_t>((x * 37 + y * 1021) & 0xFFFF))
          << x << "," << y;
}

// What the renderer shows, as RGB565 rows of `width` pixels.
std::vector<uint16_t> read_window(Window& window, int width, int height) {
  std::vector<uint16_t> pixels(size_t(width) * height);
  EXPECT_EQ(SDL_RenderReadPixels(window.renderer(), nullptr, SDL_PIXELFORMAT_RGB565, pixels.data(),
                                 width * 2),
            0)
      << SDL_GetError();
  return pixels;
}

TEST(HeadlessDisplay, OpensAtTheWindowSizeAndKeepsItsFrame) {
  auto window = Window::create(u"test", {300, 200}, WindowBackend::headless);
  ASSERT_TRUE(window);
  DisplayParameters parameters{480, 800, 0, 0};
  auto display = open_display(*window, parameters);
  ASSERT_TRUE(display);
  EXPECT_EQ(parameters.width, 300);
  EXPECT_EQ(parameters.height, 200);
  EXPECT_EQ(parameters.orientation, 1);  // wider than high
  EXPECT_EQ(parameters.initialised, 1u);
  EXPECT_EQ(display->size(), (Size{300, 200}));
  EXPECT_EQ(display->contents().pixel(299, 199), 0);

  EXPECT_EQ(display->frame_buffer(), nullptr);
  ASSERT_TRUE(display->begin_draw());
  EXPECT_FALSE(display->begin_draw());
  Surface* frame = display->frame_buffer();
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->size(), (Size{300, 200}));
  paint_pattern(*frame);
  display->end_draw(0);
  EXPECT_EQ(display->frame_buffer(), nullptr);
  EXPECT_EQ(display->frames_presented(), 1u);
  expect_pattern(display->contents());

  // A frame that changes one pixel leaves the others as they were.
  ASSERT_TRUE(display->begin_draw());
  display->frame_buffer()->set_pixel(0, 0, 0xF800);
  display->end_draw(0);
  EXPECT_EQ(display->contents().pixel(0, 0), 0xF800);
  EXPECT_EQ(display->contents().pixel(1, 0), 37);

  display->end_draw(0);  // no begin: nothing
  EXPECT_EQ(display->frames_presented(), 2u);
}

TEST(HeadlessDisplay, OrientationFollowsTheWindowShape) {
  auto window = Window::create(u"test", {240, 320}, WindowBackend::headless);
  ASSERT_TRUE(window);
  EXPECT_EQ(query_orientation(*window), 0);
  window->set_size({320, 240});
  EXPECT_EQ(query_orientation(*window), 1);
  window->set_size({100, 100});
  EXPECT_EQ(query_orientation(*window), 0);
}

TEST(OffscreenSurface, IsMadeOnlyForSensibleSizes) {
  EXPECT_FALSE(OffscreenSurface::create(0, 10));
  EXPECT_FALSE(OffscreenSurface::create(10, -1));
  EXPECT_FALSE(OffscreenSurface::create(Surface::kMaxSide + 1, 1));
  auto surface = OffscreenSurface::create(7, 3);
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->size(), (Size{7, 3}));
  EXPECT_EQ(surface->surface().pixel(6, 2), 0);
  auto window = Window::create(u"test", {7, 3}, WindowBackend::headless);
  ASSERT_TRUE(window);
  EXPECT_TRUE(surface->copy_to(*window));
}

// SDL's dummy video driver (set by the test main) has windows with a
// software renderer, so the texture path runs without an X server.
class SdlDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    window = Window::create(u"test", {64, 40}, WindowBackend::sdl, &error);
    if (!window) GTEST_SKIP() << "no SDL video: " << error;
  }
  std::unique_ptr<Window> window;
};

TEST_F(SdlDisplayTest, PresentsTheFrameThroughAStreamingTexture) {
  DisplayParameters parameters;
  auto display = open_display(*window, parameters);
  ASSERT_TRUE(display) << SDL_GetError();
  EXPECT_EQ(parameters.width, 64);
  EXPECT_EQ(parameters.height, 40);
  EXPECT_EQ(parameters.orientation, 1);
  ASSERT_TRUE(display->begin_draw());
  paint_pattern(*display->frame_buffer());
  display->end_draw(0);
  EXPECT_EQ(display->frames_presented(), 1u);

  const auto shown = read_window(*window, 64, 40);
  for (uint32_t y = 0; y < 40; ++y)
    for (uint32_t x = 0; x < 64; ++x)
      ASSERT_EQ(shown[y * 64 + x], static_cast<uint16_t>((x * 37 + y * 1021) & 0xFFFF))
          << x << "," << y;
  expect_pattern(display->contents());
}

TEST_F(SdlDisplayTest, OffscreenPaintingReachesTheWindow) {
  auto surface = OffscreenSurface::create(64, 40);
  ASSERT_TRUE(surface);
  surface->surface().fill(0x07E0);
  surface->surface().set_pixel(5, 6, 0x001F);
  ASSERT_TRUE(surface->copy_to(*window));
  const auto shown = read_window(*window, 64, 40);
  EXPECT_EQ(shown[6 * 64 + 5], 0x001F);
  EXPECT_EQ(shown[0], 0x07E0);
  EXPECT_EQ(shown[39 * 64 + 63], 0x07E0);
}

}  // namespace
}  // namespace lv
