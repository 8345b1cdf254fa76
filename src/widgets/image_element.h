#pragma once

// "image": a skin picture drawn into the element's rectangle, its margins
// kept and its inner part repeated. Drawn as a plain copy (magenta
// included), through the blitter that "alpha" names, or through a mask
// ("mask", a picture of the same size whose blue channel weighs each
// pixel). With "grow" the picture's size raises both measures.

#include <memory>

#include "skin/bitmap.h"
#include "skin/row_blitter.h"
#include "widgets/element.h"

namespace lv {

class ImageElement : public Element {
 public:
  void load(const Properties& properties, const SkinNode* node) override;
  void draw(Canvas& target, Point origin) override;
  void measure_width(SizeRange& range) override;
  void measure_height(SizeRange& range) override;

  const Picture& picture() const { return m_src; }
  // A mask made for the old picture stays only while the sizes match.
  void set_picture(const Picture& picture);
  bool grow() const { return m_grow; }
  bool masked() const { return m_masked; }
  const RowBlitter* blitter() const { return m_blitter.get(); }

 private:
  Picture m_src;
  Picture m_mask;
  std::unique_ptr<RowBlitter> m_blitter;
  bool m_grow = false;
  bool m_masked = false;
};

}  // namespace lv
