#include "widgets/progress.h"

#include <algorithm>
#include <cmath>

namespace lv {

namespace {

bool holds(const Element& element, const Element* wanted) {
  for (size_t i = 0; i < element.child_count(); ++i) {
    const Element& c = element.child(i);
    if (&c == wanted || holds(c, wanted)) return true;
  }
  return false;
}

// The line's length along one axis of a bar of this length.
int32_t line_length(AnchorMode mode, int32_t bar, int32_t border_min, int32_t border_max,
                    double value) {
  const int64_t room = int64_t{bar} - anchor_need(mode, border_min, 0, border_max);
  const double length = std::floor(static_cast<double>(room) * value);
  return clamp_to_int32(std::max<int64_t>(static_cast<int64_t>(length), 0));
}

}  // namespace

void ProgressElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_line = find_by_id(u"#line");
  if (m_line) m_line->set_size_listener(nullptr);
}

std::unique_ptr<Element> ProgressElement::remove_child(Element& child, size_t index) {
  std::unique_ptr<Element> owned = Element::remove_child(child, index);
  if (owned && m_line && !holds(*this, m_line)) m_line = nullptr;
  return owned;
}

void ProgressElement::set_value(double value) {
  if (!(value >= 0.0)) value = 0.0;  // NaN too
  value = std::min(value, 1.0);
  if (value == m_value) return;
  m_value = value;
  invalidate_layout();
}

void ProgressElement::layout_children_x() {
  for (size_t i = 0; i < child_count(); ++i) {
    Element& c = child(i);
    if (&c != m_line) place_child_x(c);
  }
  // The line may sit deeper than a direct child; it is placed in the bar's
  // own box either way.
  if (!m_line) return;
  Element& line = *m_line;
  const int32_t preferred =
      line_length(line.anchor_x(), size().width, line.border_min().x, line.border_max().x, m_value);
  const int32_t width = anchor_size(line.anchor_x(), size().width, line.border_min().x, preferred,
                                    line.border_max().x);
  const int32_t offset =
      anchor_offset(line.anchor_x(), size().width, line.border_min().x, width, line.border_max().x);
  line.set_x_width(saturating_add(position().x, offset), width);
}

void ProgressElement::layout_children_y() {
  for (size_t i = 0; i < child_count(); ++i) {
    Element& c = child(i);
    if (&c != m_line) place_child_y(c);
  }
  if (!m_line) return;
  Element& line = *m_line;
  const int32_t preferred = line_length(line.anchor_y(), size().height, line.border_min().y,
                                        line.border_max().y, m_value);
  const int32_t height = anchor_size(line.anchor_y(), size().height, line.border_min().y, preferred,
                                     line.border_max().y);
  const int32_t offset = anchor_offset(line.anchor_y(), size().height, line.border_min().y, height,
                                       line.border_max().y);
  line.set_y_height(saturating_add(position().y, offset), height);
}

}  // namespace lv
