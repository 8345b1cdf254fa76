#include "widgets/color_element.h"

#include <algorithm>

#include "skin/canvas.h"
#include "skin/properties.h"
#include "skin/rgb565.h"
#include "skin/surface.h"

namespace lv {

void fill_rect(Canvas& target, Point position, Size size, uint16_t pixel) {
  Surface* surface = target.surface();
  if (!surface || size.width < 1 || size.height < 1) return;
  const Rect clip = target.effective_clip();
  const int64_t left = std::max<int64_t>(position.x, clip.left);
  const int64_t top = std::max<int64_t>(position.y, clip.top);
  const int64_t right = std::min<int64_t>(int64_t{position.x} + size.width, clip.right);
  const int64_t bottom = std::min<int64_t>(int64_t{position.y} + size.height, clip.bottom);
  if (right <= left || bottom <= top) return;
  for (int64_t y = top; y < bottom; ++y) {
    uint16_t* row = surface->row(static_cast<uint32_t>(y));
    std::fill(row + left, row + right, pixel);
  }
}

void ColorElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_color = properties.get_color(node, u"color", Color{0, 0, 0, 255});
}

void ColorElement::set_color(Color color) {
  if (color == m_color) return;
  m_color = color;
  mark_redraw();
}

void ColorElement::draw(Canvas& target, Point origin) {
  fill_rect(target, origin, size(), rgb565::from_rgb888(m_color.red, m_color.green, m_color.blue));
}

}  // namespace lv
