#include "screens/thumbnail_art.h"

#include "skin/blit.h"
#include "skin/canvas.h"
#include "skin/rgb565.h"
#include "skin/row_blitter.h"
#include "skin/surface.h"

namespace lv {

Picture thumbnail_art(const Surface& thumbnail, Size size, const Picture& frame) {
  if (size.width < 1 || size.height < 1 || thumbnail.width() < 1 || thumbnail.height() < 1)
    return empty_picture();
  std::unique_ptr<Surface> art = Surface::create(size.width, size.height);
  if (!art) return empty_picture();
  Canvas canvas(art.get());
  stretch_blit(canvas, {0, 0}, size, thumbnail, {0, 0}, thumbnail.size(), CopyBlitter());
  if (frame.empty()) {
    for (uint32_t y = 0; y < art->height(); ++y) {
      uint16_t* row = art->row(y);
      for (uint32_t x = 0; x < art->width(); ++x) row[x] |= rgb565::kOpaqueBit;
    }
  } else {
    frame.draw(canvas, {0, 0}, size, KeyedAccumulateBlitter(0));
  }
  return picture_from_surface(std::move(art));
}

}  // namespace lv
