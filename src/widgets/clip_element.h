#pragma once

// "clip": a container whose children are drawn only inside its own
// rectangle.

#include "widgets/element.h"

namespace lv {

class ClipElement : public Element {
 public:
  void draw(Canvas& target, Point origin) override;
};

}  // namespace lv
