#pragma once

// Puts RGB565 pixels on the window: an SDL streaming texture in RGB565 of
// the pixels' size (made again when that changes), stretched over the
// window and presented. On a headless window there is nothing to show and
// presenting succeeds at once.

#include <memory>

#include "skin/geometry.h"

struct SDL_Texture;

namespace lv {

namespace platform {
class Window;
}

class Surface;

class WindowTexture {
 public:
  explicit WindowTexture(platform::Window& window);
  ~WindowTexture();
  WindowTexture(const WindowTexture&) = delete;
  WindowTexture& operator=(const WindowTexture&) = delete;

  // False when the texture cannot be made or SDL refuses the copy.
  bool present(const Surface& pixels);

  platform::Window& window() const { return m_window; }

 private:
  bool ensure_texture(Size size);

  platform::Window& m_window;
  SDL_Texture* m_texture = nullptr;
  Size m_size;
};

}  // namespace lv
