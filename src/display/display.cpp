#include "display/display.h"

#include "display/headless_display.h"
#include "display/sdl_display.h"
#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {

Display::Display(std::unique_ptr<Surface> pixels, int32_t orientation)
    : m_pixels(std::move(pixels)), m_orientation(orientation) {}

Display::~Display() = default;

Size Display::size() const {
  return m_pixels->size();
}

bool Display::begin_draw() {
  if (m_drawing) return false;
  m_drawing = true;
  return true;
}

Surface* Display::frame_buffer() {
  return m_drawing ? m_pixels.get() : nullptr;
}

void Display::end_draw(uint32_t) {
  if (!m_drawing) return;
  m_drawing = false;
  if (present(*m_pixels)) ++m_frames;
}

int32_t query_orientation(const platform::Window& window) {
  const platform::WindowSize size = window.client_size();
  return size.width > size.height ? 1 : 0;
}

std::unique_ptr<Display> open_display(platform::Window& window, DisplayParameters& parameters) {
  const platform::WindowSize size = window.client_size();
  const int32_t orientation = query_orientation(window);
  auto pixels = Surface::create(size.width, size.height);
  if (!pixels) return nullptr;
  std::unique_ptr<Display> display;
  if (window.headless())
    display = std::make_unique<HeadlessDisplay>(std::move(pixels), orientation);
  else
    display = SdlDisplay::open(window, std::move(pixels), orientation);
  if (!display) return nullptr;
  parameters.width = size.width;
  parameters.height = size.height;
  parameters.orientation = orientation;
  parameters.initialised = 1;
  return display;
}

}  // namespace lv
