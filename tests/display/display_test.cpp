#include "display/display.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "display/offscreen_surface.h"
#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {
namespace {

using platform::Window;
using platform::WindowBackend;

uint16_t pattern(uint32_t x, uint32_t y) {
  return static_cast<uint16_t>((x * 37 + y * 1021) & 0xFFFF);
}

// Draws the pattern as one frame and checks that the display keeps it.
void present_pattern(Display& display) {
  ASSERT_TRUE(display.begin_draw());
  EXPECT_FALSE(display.begin_draw());
  Surface& frame = *display.frame_buffer();
  for (uint32_t y = 0; y < frame.height(); ++y)
    for (uint32_t x = 0; x < frame.width(); ++x) frame.set_pixel(x, y, pattern(x, y));
  display.end_draw(0);
  EXPECT_EQ(display.frame_buffer(), nullptr);  // only between begin and end
  const Surface& shown = display.contents();
  for (uint32_t y = 0; y < shown.height(); ++y)
    for (uint32_t x = 0; x < shown.width(); ++x)
      ASSERT_EQ(shown.pixel(x, y), pattern(x, y)) << x << "," << y;
}

TEST(HeadlessDisplay, OpensAtTheWindowSizeAndKeepsItsFrame) {
  auto window = Window::create(u"test", {300, 200}, WindowBackend::headless);
  DisplayParameters parameters{480, 800, 0, 0};
  auto display = open_display(*window, parameters);
  ASSERT_TRUE(display);
  // The size of the window, wider than high, first use.
  EXPECT_EQ(std::tuple(parameters.width, parameters.height, parameters.orientation,
                       parameters.initialised),
            std::tuple(300, 200, 1, 1u));
  EXPECT_EQ(display->contents().pixel(299, 199), 0);  // all zero before the first frame
  present_pattern(*display);
  // A frame that changes one pixel leaves the others as they were.
  ASSERT_TRUE(display->begin_draw());
  display->frame_buffer()->set_pixel(0, 0, 0xF800);
  display->end_draw(0);
  display->end_draw(0);  // no begin: nothing
  EXPECT_EQ(std::tuple(display->contents().pixel(0, 0), display->contents().pixel(1, 0),
                       display->frames_presented()),
            std::tuple(uint16_t{0xF800}, pattern(1, 0), 2u));
  window->set_size({100, 100});  // square: not landscape
  EXPECT_EQ(query_orientation(*window), 0);
}

TEST(OffscreenSurface, IsMadeOnlyForSensibleSizes) {
  EXPECT_FALSE(OffscreenSurface::create(0, 10) || OffscreenSurface::create(10, -1) ||
               OffscreenSurface::create(Surface::kMaxSide + 1, 1));
  auto surface = OffscreenSurface::create(7, 3);
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->size(), (Size{7, 3}));
}

// SDL's dummy video driver (set by the test main) has windows with a
// software renderer, so the texture path runs without an X server.
TEST(SdlDisplay, FramesAndOffscreenPaintingReachTheWindow) {
  std::string error;
  auto window = Window::create(u"test", {64, 40}, WindowBackend::sdl, &error);
  if (!window) GTEST_SKIP() << "no SDL video: " << error;
  std::vector<uint16_t> shown(64 * 40);
  auto read_window = [&] {
    return SDL_RenderReadPixels(window->renderer(), nullptr, SDL_PIXELFORMAT_RGB565, shown.data(),
                                64 * 2) == 0;
  };
  DisplayParameters parameters;
  auto display = open_display(*window, parameters);
  ASSERT_TRUE(display) << SDL_GetError();
  present_pattern(*display);
  ASSERT_TRUE(read_window()) << SDL_GetError();
  for (uint32_t y = 0; y < 40; ++y)
    for (uint32_t x = 0; x < 64; ++x) ASSERT_EQ(shown[y * 64 + x], pattern(x, y)) << x << "," << y;

  auto surface = OffscreenSurface::create(64, 40);
  surface->surface().fill(0x07E0);
  surface->surface().set_pixel(5, 6, 0x001F);
  ASSERT_TRUE(surface->copy_to(*window) && read_window());
  EXPECT_EQ(std::tuple(shown[6 * 64 + 5], shown[0], shown[39 * 64 + 63]),
            std::tuple(0x001F, 0x07E0, 0x07E0));
}

}  // namespace
}  // namespace lv
