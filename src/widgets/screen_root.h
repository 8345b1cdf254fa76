#pragma once

// The root of every tree built from a named top-level skin node: every
// screen, every popup menu and every list row. It keeps the node's
// "outside_color" for its owner (the colour around a screen smaller than the
// display) and does not draw it.

#include <string_view>

#include "skin/color.h"
#include "widgets/element.h"

namespace lv {

class ScreenRoot : public Element {
 public:
  void load(const Properties& properties, const SkinNode* node) override;

  Color outside_color() const { return m_outside_color; }

  // load_named, throwing jobser::NodeNotFoundInSkin (the name) when the skin
  // has no such node.
  void build(const Properties& properties, std::u16string_view node_name);

  // The two layout steps for the whole tree at (0, 0) and this size.
  void layout(Size size);
  // Whether a repaint would change anything on screen.
  bool pending_change() const { return needs_redraw() || needs_layout(); }
  // Lays the tree out and draws it at (0, 0) when something changed since
  // the last drawing; true when it drew. A target that does not keep its
  // pixels between frames must be drawn with draw_element instead.
  bool repaint(Canvas& target, Size size);

 private:
  Color m_outside_color;
};

}  // namespace lv
