#pragma once

// "progress": a bar whose descendant "#line" is sized by the value (0 to 1)
// along every axis where the line's anchor lets its preferred size count; a
// BOTH_SIDE axis is filled whatever the value.

#include "widgets/element.h"

namespace lv {

class ProgressElement : public Element {
 public:
  void load(const Properties& properties, const SkinNode* node) override;
  std::unique_ptr<Element> remove_child(Element& child, size_t index) override;
  void layout_children_x() override;
  void layout_children_y() override;

  double value() const { return m_value; }
  // Clamped to 0..1 (anything not a number counts as 0).
  void set_value(double value);
  Element* line() const { return m_line; }

 private:
  double m_value = 0.0;
  Element* m_line = nullptr;
};

}  // namespace lv
