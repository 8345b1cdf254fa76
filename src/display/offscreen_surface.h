#pragma once

// The surface painted while no display is open (windowed presentation, the
// native edit box): the program renders into it and copies it to the
// window, as the handheld did with a DIB section and its device context.

#include <cstdint>
#include <memory>

#include "skin/geometry.h"

namespace lv {

namespace platform {
class Window;
}

class Surface;
class WindowTexture;

class OffscreenSurface {
 public:
  // None when a side is not in 1..16384 or memory runs out.
  static std::unique_ptr<OffscreenSurface> create(int32_t width, int32_t height);
  ~OffscreenSurface();
  OffscreenSurface(const OffscreenSurface&) = delete;
  OffscreenSurface& operator=(const OffscreenSurface&) = delete;

  Surface& surface() { return *m_surface; }
  const Surface& surface() const { return *m_surface; }
  Size size() const;

  // Copies the whole surface to the window at (0, 0) and shows it.
  bool copy_to(platform::Window& window);

 private:
  explicit OffscreenSurface(std::unique_ptr<Surface> surface);

  std::unique_ptr<Surface> m_surface;
  std::unique_ptr<WindowTexture> m_texture;
};

}  // namespace lv
