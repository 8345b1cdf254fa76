#pragma once

// The target of every drawing operation: a surface (not owned) and the clip
// rectangle inside which drawing may write. Drawing clamps the clip to the
// surface before use, so a clip larger than the surface is harmless.

#include <cstdint>

#include "skin/geometry.h"

namespace lv {

class Surface;

class Canvas {
 public:
  Canvas() = default;
  // Clip (0, 0, width, height) of the surface, or empty without one.
  explicit Canvas(Surface* surface);

  Surface* surface() const { return m_surface; }
  const Rect& clip() const { return m_clip; }
  // Number of clip guards open on this canvas.
  int32_t clip_in_effect() const { return m_clip_in_effect; }

  // Only with a surface: left/top raised to 0, right/bottom lowered to the
  // surface size; an empty result collapses to right = left, bottom = top.
  void set_clip(Point top_left, Point bottom_right);

  // The clip cut to the surface's bounds; empty without a surface.
  Rect effective_clip() const;

 protected:
  void attach(Surface* surface);
  void set_clip_rect(const Rect& clip) { m_clip = clip; }

 private:
  friend class ClipGuard;

  Rect m_clip;
  int32_t m_clip_in_effect = 0;
  Surface* m_surface = nullptr;
};

// Narrows a canvas's clip to a rectangle for its lifetime and restores it
// exactly on destruction. Guards nest; close them in reverse order.
class ClipGuard {
 public:
  ClipGuard(Canvas& canvas, Point position, Size size);
  ~ClipGuard();
  ClipGuard(const ClipGuard&) = delete;
  ClipGuard& operator=(const ClipGuard&) = delete;

 private:
  Canvas& m_canvas;
  Rect m_saved;
};

}  // namespace lv
