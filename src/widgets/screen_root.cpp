#include "widgets/screen_root.h"

#include "skin/properties.h"
#include "skin/skin_exceptions.h"

namespace lv {

void ScreenRoot::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_outside_color = properties.get_color(node, u"outside_color", Color{0, 0, 0, 255});
}

void ScreenRoot::build(const Properties& properties, std::u16string_view node_name) {
  if (!load_named(properties, node_name))
    throw jobser::NodeNotFoundInSkin(std::u16string(node_name));
}

void ScreenRoot::layout(Size size) {
  set_x_width(0, size.width);
  set_y_height(0, size.height);
}

bool ScreenRoot::repaint(Canvas& target, Size size) {
  layout(size);
  if (!needs_redraw()) return false;
  draw_element(target, {0, 0});
  return true;
}

}  // namespace lv
