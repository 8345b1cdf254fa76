#include "display/display.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {
namespace {

uint16_t pattern(uint32_t x, uint32_t y) {
  return static_cast<uint16_t>((x * 37 + y * 1021) & 0xFFFF);
}

TEST(HeadlessDisplay, OpensAtTheWindowSizeAndAFrameChangingOnePixelKeepsTheOthers) {
  auto window = platform::Window::create(u"test", {300, 200}, platform::WindowBackend::headless);
  DisplayParameters parameters{480, 800, 0, 0};
  auto display = open_display(*window, parameters);
  ASSERT_TRUE(display);
  // The size of the window, wider than high, first use.
  EXPECT_EQ(std::tuple(parameters.width, parameters.height, parameters.orientation,
                       parameters.initialised),
            std::tuple(300, 200, 1, 1u));
  ASSERT_TRUE(display->begin_draw());
  EXPECT_FALSE(display->begin_draw());
  Surface& frame = *display->frame_buffer();
  for (uint32_t y = 0; y < frame.height(); ++y)
    for (uint32_t x = 0; x < frame.width(); ++x) frame.set_pixel(x, y, pattern(x, y));
  display->end_draw(0);
  ASSERT_TRUE(display->begin_draw());
  display->frame_buffer()->set_pixel(0, 0, 0xF800);
  display->end_draw(0);
  display->end_draw(0);  // no begin: nothing
  const Surface& shown = display->contents();
  for (uint32_t y = 0; y < shown.height(); ++y)
    for (uint32_t x = 0; x < shown.width(); ++x)
      ASSERT_EQ(shown.pixel(x, y), x + y == 0 ? 0xF800 : pattern(x, y)) << x << "," << y;
}

}  // namespace
}  // namespace lv
