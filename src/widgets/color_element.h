#pragma once

// "color": a rectangle filled with one colour ("color", opaque black by
// default). Its children are not drawn.

#include "skin/color.h"
#include "widgets/element.h"

namespace lv {

class ColorElement : public Element {
 public:
  void load(const Properties& properties, const SkinNode* node) override;
  void draw(Canvas& target, Point origin) override;

  Color color() const { return m_color; }
  void set_color(Color color);

 private:
  Color m_color;
};

// Fills the rectangle (position, size) within the canvas's clip.
void fill_rect(Canvas& target, Point position, Size size, uint16_t pixel);

}  // namespace lv
