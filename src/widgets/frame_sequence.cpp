#include "widgets/frame_sequence.h"

#include <algorithm>
#include <cmath>

#include "skin/properties.h"
#include "widgets/skin_values.h"

namespace lv {

void FrameSequenceElement::insert_child(std::unique_ptr<Element> child, size_t index,
                                        const Properties* properties, const SkinNode* node,
                                        std::u16string_view type_name) {
  if (!child) return;
  index = std::min(index, m_frames.size());
  Frame frame;
  if (properties) {
    const std::u16string delay = read_string(*properties, node, u"delay");
    parse_decimal(delay, frame.delay);
  }
  if (type_name == u"button") {
    frame.button = dynamic_cast<ButtonElement*>(child.get());
    if (frame.button) frame.button->set_listener(this);
  }
  if (!m_frames.empty()) {
    child->set_visible(false);
    // The frame shown stays the same one.
    if (index <= m_current) ++m_current;
  }
  m_frames.insert(m_frames.begin() + static_cast<ptrdiff_t>(index), frame);
  Element::insert_child(std::move(child), index, properties, node, type_name);
}

std::unique_ptr<Element> FrameSequenceElement::remove_child(Element& child, size_t index) {
  if (index >= child_count() || &this->child(index) != &child) index = index_of(child);
  std::unique_ptr<Element> owned = Element::remove_child(child, index);
  if (!owned) return owned;
  if (index < m_frames.size()) {
    if (m_frames[index].button == owned.get()) m_frames[index].button->set_listener(nullptr);
    m_frames.erase(m_frames.begin() + static_cast<ptrdiff_t>(index));
  }
  if (m_frames.empty()) {
    m_current = 0;
  } else {
    if (index < m_current) --m_current;
    m_current %= m_frames.size();
  }
  // Only the children that remain: the one removed may be half destroyed.
  show_current();
  return owned;
}

void FrameSequenceElement::show_current() {
  for (size_t i = 0; i < child_count(); ++i) child(i).set_visible(i == m_current);
}

void FrameSequenceElement::set_current(size_t index, FrameChange cause) {
  if (index == m_current || index >= m_frames.size()) return;
  m_current = index;
  show_current();
  if (m_listener) m_listener->frame_changed(*this, cause);
}

void FrameSequenceElement::advance(FrameChange cause) {
  if (m_frames.empty()) return;
  set_current((m_current + 1) % m_frames.size(), cause);
}

double FrameSequenceElement::frame_delay(size_t index) const {
  if (index < m_frames.size() && m_frames[index].delay != kDefaultDelay)
    return m_frames[index].delay;
  return m_default_delay;
}

ButtonElement* FrameSequenceElement::frame_button(size_t index) const {
  return index < m_frames.size() ? m_frames[index].button : nullptr;
}

void FrameSequenceElement::set_movie(bool movie, double default_delay) {
  m_movie = movie;
  if (std::isfinite(default_delay)) m_default_delay = default_delay;
}

void FrameSequenceElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_text = read_text(properties, node, u"text");
  m_default_delay = 1.0;
  parse_decimal(read_string(properties, node, u"delay"), m_default_delay);
  m_movie = properties.get_integer(node, u"movie", 0) != 0;
  for (const Frame& frame : m_frames)
    if (frame.button) frame.button->set_text(m_text);
}

void FrameSequenceElement::on_timer(double seconds) {
  Element::on_timer(seconds);
  if (!m_movie || !effectively_visible() || m_frames.empty()) return;
  if (!(seconds > 0.0) || !std::isfinite(seconds)) return;
  m_elapsed += seconds;
  const double delay = frame_delay(m_current);
  if (m_elapsed >= delay) {
    // A delay of zero or less steps on every tick and keeps no time.
    m_elapsed = delay > 0.0 ? m_elapsed - delay : 0.0;
    advance(FrameChange::timer);
  }
}

void FrameSequenceElement::clicked(ButtonElement& button, const ClickInfo& info) {
  if (m_current >= m_frames.size() || m_frames[m_current].button != &button) return;
  if (m_listener)
    m_listener->clicked(*this, info);
  else
    advance(FrameChange::click);
}

void FrameSequenceElement::dragged(ButtonElement&, DragInfo& info) {
  if (m_listener) m_listener->dragged(*this, info);
}

}  // namespace lv
