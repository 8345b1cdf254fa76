#include "display/sdl_display.h"

#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {

SdlDisplay::SdlDisplay(platform::Window& window, std::unique_ptr<Surface> pixels,
                       int32_t orientation)
    : Display(std::move(pixels), orientation), m_texture(window) {}

std::unique_ptr<SdlDisplay> SdlDisplay::open(platform::Window& window,
                                             std::unique_ptr<Surface> pixels, int32_t orientation) {
  if (!window.renderer() || !pixels) return nullptr;
  std::unique_ptr<SdlDisplay> display(new SdlDisplay(window, std::move(pixels), orientation));
  // The first (black) frame proves the texture can be made and shown.
  if (!display->present(display->contents())) return nullptr;
  return display;
}

}  // namespace lv
