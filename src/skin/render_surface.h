#pragma once

// A canvas that owns its surface and can re-create it at a new size; the
// elements that cache their drawing keep one. While a clip guard is open on
// it, its surface must not change: an attempt ends the program.

#include <cstdint>
#include <memory>

#include "skin/canvas.h"
#include "skin/geometry.h"

namespace lv {

class RowBlitter;
class Surface;

class RenderSurface : public Canvas {
 public:
  RenderSurface();
  RenderSurface(int32_t width, int32_t height);
  ~RenderSurface();
  RenderSurface(const RenderSurface&) = delete;
  RenderSurface& operator=(const RenderSurface&) = delete;

  // False, doing nothing, when the size is already the owned surface's (or
  // 0 x 0 without one). Otherwise the old surface goes and a new zero-filled
  // one of this size comes; when that cannot be made (out of memory, a side
  // beyond Surface::kMaxSide) the render surface is left empty. True then.
  bool recreate(int32_t width, int32_t height);

  // Hands the owned surface (or none) to the caller, leaving this empty.
  std::unique_ptr<Surface> take_surface();

  // Takes ownership of a surface made elsewhere. Adopting the surface already
  // owned keeps it.
  void adopt_surface(std::unique_ptr<Surface> surface);

  // Size of the surface, (0, 0) without one.
  Size size() const;

  // The whole surface onto the target at pos, through the blitter, within
  // the target's clip.
  void draw_onto(Canvas& target, Point pos, const RowBlitter& blitter) const;
  // The whole surface scaled to size at pos.
  void stretch_onto(Canvas& target, Point pos, Size size, const RowBlitter& blitter) const;

  // Pixels (width x height) of all surfaces that render surfaces own now.
  static int64_t pixel_account();

 private:
  void release(const char16_t* where);
  void own(std::unique_ptr<Surface> surface);

  std::unique_ptr<Surface> m_owned;
};

}  // namespace lv
