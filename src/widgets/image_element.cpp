#include "widgets/image_element.h"

#include <algorithm>

#include "skin/properties.h"
#include "widgets/mask_blitter.h"

namespace lv {

namespace {

bool same_bitmap_size(const Picture& a, const Picture& b) {
  return a.bitmap_size() == b.bitmap_size();
}

bool same_picture(const Picture& a, const Picture& b) {
  return a.bitmap == b.bitmap && a.p0 == b.p0 && a.p1 == b.p1 && a.p2 == b.p2 && a.p3 == b.p3 &&
         a.scale == b.scale && a.flag == b.flag;
}

}  // namespace

void ImageElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_src = properties.get_picture(node, u"src", empty_picture());
  m_mask = properties.get_picture(node, u"mask", empty_picture());
  m_masked = false;
  if (!m_mask.empty() && same_bitmap_size(m_mask, m_src)) {
    m_blitter = std::make_unique<MaskBlitter>(m_mask);
    m_masked = true;
  } else {
    m_blitter.reset();
    const int32_t alpha = properties.get_integer(node, u"alpha", -1);
    if (alpha != -1) m_blitter = blitter_for_cache_alpha(alpha);
  }
  m_grow = properties.get_integer(node, u"grow", 0) != 0;
}

void ImageElement::set_picture(const Picture& picture) {
  if (same_picture(picture, m_src)) return;
  m_src = picture;
  if (m_masked && !same_bitmap_size(m_mask, m_src)) {
    m_blitter.reset();
    m_masked = false;
  }
  if (m_grow)
    invalidate_layout();
  else
    mark_redraw();
}

void ImageElement::draw(Canvas& target, Point origin) {
  if (m_blitter)
    m_src.draw(target, origin, size(), *m_blitter);
  else
    m_src.draw(target, origin, size(), CopyBlitter());
}

void ImageElement::measure_width(SizeRange& range) {
  Element::measure_width(range);
  if (!m_grow) return;
  const int32_t width = clamp_to_int32(int64_t{m_src.p3.x} - m_src.p0.x);
  range.preferred = std::max(range.preferred, width);
  range.minimum = std::max(range.minimum, width);
}

void ImageElement::measure_height(SizeRange& range) {
  Element::measure_height(range);
  if (!m_grow) return;
  const int32_t height = clamp_to_int32(int64_t{m_src.p3.y} - m_src.p0.y);
  range.preferred = std::max(range.preferred, height);
  range.minimum = std::max(range.minimum, height);
}

}  // namespace lv
