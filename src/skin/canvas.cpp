#include "skin/canvas.h"

#include <algorithm>

#include "skin/surface.h"

namespace lv {

Canvas::Canvas(Surface* surface) {
  attach(surface);
}

void Canvas::attach(Surface* surface) {
  m_surface = surface;
  m_clip = surface ? Rect{0, 0, surface->size().width, surface->size().height} : Rect{};
}

void Canvas::set_clip(Point top_left, Point bottom_right) {
  if (!m_surface) return;
  Rect clip{std::max(top_left.x, 0), std::max(top_left.y, 0),
            std::min(bottom_right.x, m_surface->size().width),
            std::min(bottom_right.y, m_surface->size().height)};
  if (clip.right <= clip.left || clip.bottom <= clip.top) {
    clip.right = clip.left;
    clip.bottom = clip.top;
  }
  m_clip = clip;
}

Rect Canvas::effective_clip() const {
  if (!m_surface) return {};
  return {std::max(m_clip.left, 0), std::max(m_clip.top, 0),
          std::min(m_clip.right, m_surface->size().width),
          std::min(m_clip.bottom, m_surface->size().height)};
}

ClipGuard::ClipGuard(Canvas& canvas, Point position, Size size)
    : m_canvas(canvas), m_saved(canvas.m_clip) {
  ++m_canvas.m_clip_in_effect;
  const Point top_left{std::max(m_saved.left, position.x), std::max(m_saved.top, position.y)};
  const Point bottom_right{std::min(m_saved.right, saturating_add(position.x, size.width)),
                           std::min(m_saved.bottom, saturating_add(position.y, size.height))};
  m_canvas.set_clip(top_left, bottom_right);
}

ClipGuard::~ClipGuard() {
  m_canvas.m_clip = m_saved;
  --m_canvas.m_clip_in_effect;
}

}  // namespace lv
