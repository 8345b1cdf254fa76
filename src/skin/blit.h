#pragma once

// The surface operations: each clips its rectangles against the destination,
// the source and the clip, returns early when nothing is left, computes its
// start pointers once and then makes one row-blitter call per row (per part
// of a row for picture regions). Clip rectangles are cut to the destination
// surface before use.

#include <cstdint>

#include "skin/geometry.h"

namespace lv {

class Canvas;
class Dimming;
class RowBlitter;
class Surface;

// A region of a bitmap drawn with its margins kept and its inner part
// repeated: p0 is the region's top-left corner, p3 its bottom-right corner
// (exclusive), p1 and p2 the corners of the inner part. The points are in
// scaled units (bitmap pixels times 2^scale); every bitmap pixel covers
// 2^scale x 2^scale destination pixels.
struct PictureView {
  const Surface* bitmap = nullptr;
  Point p0, p1, p2, p3;
  int32_t scale = 0;
};

// Copies size pixels from src at src_pos 1:1 to pos. A negative source
// position is clipped like a destination position left of the clip: the
// part before the source's origin is not drawn. Whole rows of two gapless
// surfaces go to the blitter as one span.
void blit(Surface& dst, Point pos, Size size, const Surface& src, Point src_pos, const Rect& clip,
          const RowBlitter& blitter);
void blit(Canvas& dst, Point pos, Size size, const Surface& src, Point src_pos,
          const RowBlitter& blitter);

// Draws the source rectangle (which must lie inside src and not be empty)
// scaled to size at pos, sampling with 10-bit fixed-point steps.
void stretch_blit(Surface& dst, Point pos, Size size, const Surface& src, Point src_pos,
                  Size src_size, const Rect& clip, const RowBlitter& blitter);
void stretch_blit(Canvas& dst, Point pos, Size size, const Surface& src, Point src_pos,
                  Size src_size, const RowBlitter& blitter);

// Dims the pixels of the rectangle in place.
void apply_to_rect(Surface& dst, Point pos, Size size, const Rect& clip, const Dimming& dimming);
void apply_to_rect(Canvas& dst, Point pos, Size size, const Dimming& dimming);

// Fills the rectangle (pos, size) with the picture region: the margins at
// their size, the inner part repeated between them. When the rectangle is
// smaller than both margins together they share it; an empty inner part is
// filled with the margin's edge pixels. Points outside the bitmap are
// clamped to it.
void draw_picture_region(Canvas& dst, Point pos, Size size, const PictureView& picture,
                         const RowBlitter& blitter);

}  // namespace lv
