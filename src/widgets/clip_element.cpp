#include "widgets/clip_element.h"

#include "skin/canvas.h"

namespace lv {

void ClipElement::draw(Canvas& target, Point origin) {
  const ClipGuard guard(target, origin, size());
  Element::draw(target, origin);
}

}  // namespace lv
