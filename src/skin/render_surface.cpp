#include "skin/render_surface.h"

#include <atomic>

#include "base/log.h"
#include "skin/blit.h"
#include "skin/surface.h"

namespace lv {

namespace {

// Render surfaces live on worker threads too (decoded tiles, thumbnails).
std::atomic<int64_t> g_pixel_account{0};

int64_t pixels_of(const Surface* surface) {
  return surface ? int64_t{surface->width()} * surface->height() : 0;
}

}  // namespace

RenderSurface::RenderSurface() = default;

RenderSurface::RenderSurface(int32_t width, int32_t height) {
  recreate(width, height);
}

RenderSurface::~RenderSurface() {
  g_pixel_account -= pixels_of(m_owned.get());
}

int64_t RenderSurface::pixel_account() {
  return g_pixel_account.load();
}

void RenderSurface::release(const char16_t* where) {
  g_pixel_account -= pixels_of(m_owned.get());
  if (clip_in_effect() != 0) fatal_stop(u"Clip is in effect, cannot resize", where);
}

void RenderSurface::own(std::unique_ptr<Surface> surface) {
  m_owned = std::move(surface);
  attach(m_owned.get());
  g_pixel_account += pixels_of(m_owned.get());
}

bool RenderSurface::recreate(int32_t width, int32_t height) {
  if (m_owned ? (m_owned->size() == Size{width, height}) : (width == 0 && height == 0))
    return false;
  release(u"RenderSurface::recreate");
  m_owned.reset();
  attach(nullptr);
  own(Surface::create(width, height));
  return true;
}

std::unique_ptr<Surface> RenderSurface::take_surface() {
  release(u"RenderSurface::recreate");
  attach(nullptr);
  return std::move(m_owned);
}

void RenderSurface::adopt_surface(std::unique_ptr<Surface> surface) {
  release(u"RenderSurface::recreate");
  if (surface.get() == m_owned.get()) {
    // The caller handed back a second owner of our own surface.
    (void)surface.release();
    own(std::move(m_owned));
    return;
  }
  m_owned.reset();
  own(std::move(surface));
}

Size RenderSurface::size() const {
  return surface() ? surface()->size() : Size{};
}

void RenderSurface::draw_onto(Canvas& target, Point pos, const RowBlitter& blitter) const {
  if (!m_owned) return;
  blit(target, pos, m_owned->size(), *m_owned, {0, 0}, blitter);
}

void RenderSurface::stretch_onto(Canvas& target, Point pos, Size size,
                                 const RowBlitter& blitter) const {
  if (!m_owned) return;
  stretch_blit(target, pos, size, *m_owned, {0, 0}, m_owned->size(), blitter);
}

}  // namespace lv
