#include "display/display.h"

#include <gtest/gtest.h>

#include <tuple>

#include "display/offscreen_surface.h"
#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {
namespace {

using platform::Window;

uint16_t pattern(uint32_t x, uint32_t y) {
  return static_cast<uint16_t>((x * 37 + y * 1021) & 0xFFFF);
}

TEST(HeadlessDisplay, OpensAtTheWindowSizeAndKeepsItsFrame) {
  auto window = Window::create(u"test", {300, 200}, platform::WindowBackend::headless);
  DisplayParameters parameters{480, 800, 0, 0};
  auto display = open_display(*window, parameters);
  ASSERT_TRUE(display);
  // The size of the window, wider than high, first use.
  EXPECT_EQ(std::tuple(parameters.width, parameters.height, parameters.orientation,
                       parameters.initialised),
            std::tuple(300, 200, 1, 1u));
  EXPECT_EQ(display->contents().pixel(299, 199), 0);  // all zero before the first frame
  ASSERT_TRUE(display->begin_draw());
  EXPECT_FALSE(display->begin_draw());
  Surface& frame = *display->frame_buffer();
  for (uint32_t y = 0; y < frame.height(); ++y)
    for (uint32_t x = 0; x < frame.width(); ++x) frame.set_pixel(x, y, pattern(x, y));
  display->end_draw(0);
  EXPECT_EQ(display->frame_buffer(), nullptr);  // only between begin and end
  // A frame that changes one pixel leaves the others as they were.
  ASSERT_TRUE(display->begin_draw());
  display->frame_buffer()->set_pixel(0, 0, 0xF800);
  display->end_draw(0);
  display->end_draw(0);  // no begin: nothing
  EXPECT_EQ(display->frames_presented(), 2u);
  const Surface& shown = display->contents();
  for (uint32_t y = 0; y < shown.height(); ++y)
    for (uint32_t x = 0; x < shown.width(); ++x)
      ASSERT_EQ(shown.pixel(x, y), x + y == 0 ? 0xF800 : pattern(x, y)) << x << "," << y;
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

}  // namespace
}  // namespace lv
