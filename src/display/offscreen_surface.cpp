#include "display/offscreen_surface.h"

#include "display/window_texture.h"
#include "platform/sdl_window.h"
#include "skin/surface.h"

namespace lv {

OffscreenSurface::OffscreenSurface(std::unique_ptr<Surface> surface)
    : m_surface(std::move(surface)) {}

OffscreenSurface::~OffscreenSurface() = default;

std::unique_ptr<OffscreenSurface> OffscreenSurface::create(int32_t width, int32_t height) {
  auto surface = Surface::create(width, height);
  if (!surface) return nullptr;
  return std::unique_ptr<OffscreenSurface>(new OffscreenSurface(std::move(surface)));
}

Size OffscreenSurface::size() const {
  return m_surface->size();
}

bool OffscreenSurface::copy_to(platform::Window& window) {
  if (!m_texture || &m_texture->window() != &window)
    m_texture = std::make_unique<WindowTexture>(window);
  return m_texture->present(*m_surface);
}

}  // namespace lv
