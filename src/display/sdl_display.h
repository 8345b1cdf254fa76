#pragma once

// The display of an SDL window: the frame is drawn into pixels the display
// keeps and presented through an RGB565 streaming texture of the window's
// size.

#include "display/display.h"
#include "display/window_texture.h"

namespace lv {

class SdlDisplay : public Display {
 public:
  // None when the window has no renderer or the texture cannot be made.
  static std::unique_ptr<SdlDisplay> open(platform::Window& window, std::unique_ptr<Surface> pixels,
                                          int32_t orientation);

 protected:
  bool present(const Surface& pixels) override { return m_texture.present(pixels); }

 private:
  SdlDisplay(platform::Window& window, std::unique_ptr<Surface> pixels, int32_t orientation);

  WindowTexture m_texture;
};

}  // namespace lv
