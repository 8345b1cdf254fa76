#include "widgets/button.h"

#include "skin/properties.h"
#include "widgets/skin_values.h"

namespace lv {

namespace {

// Whether the pointer is an element of the subtree, found without reading
// through it (it may point to an element that is gone).
bool holds(const Element& element, const Element* wanted) {
  for (size_t i = 0; i < element.child_count(); ++i) {
    const Element& c = element.child(i);
    if (&c == wanted || holds(c, wanted)) return true;
  }
  return false;
}

}  // namespace

void ButtonElement::load(const Properties& properties, const SkinNode* node) {
  Element::load(properties, node);
  m_normal = find_by_id(u"#normal");
  m_pressed = find_by_id(u"#pressed");
  m_disabled = find_by_id(u"#disabled");
  for (Element* state : {m_normal, m_pressed, m_disabled})
    if (state) state->set_size_listener(nullptr);
  m_bind_key = key_code_from_skin_name(read_string(properties, node, u"bind_key"));
  set_text(read_text(properties, node, u"text"));
  choose_state_child();
}

std::unique_ptr<Element> ButtonElement::remove_child(Element& child, size_t index) {
  // A state child that goes (or whose branch goes) is no longer shown.
  std::unique_ptr<Element> owned = Element::remove_child(child, index);
  if (owned) {
    for (Element** state : {&m_normal, &m_pressed, &m_disabled})
      if (*state && !holds(*this, *state)) *state = nullptr;
  }
  return owned;
}

Element* ButtonElement::shown_state() const {
  for (Element* state : {m_disabled, m_pressed, m_normal})
    if (state && state->visible()) return state;
  return nullptr;
}

void ButtonElement::set_text(std::u16string_view text) {
  if (text == m_text) return;
  m_text = text;
  set_text_by_id(u"#text", m_text);
}

void ButtonElement::choose_state_child() {
  Element* chosen = effectively_enabled() ? (pressed() ? m_pressed : m_normal) : m_disabled;
  if (!chosen) chosen = m_normal;
  for (Element* state : {m_normal, m_pressed, m_disabled})
    if (state && state != chosen) state->set_visible(false);
  if (chosen) chosen->set_visible(true);
}

void ButtonElement::on_enabled_changed(bool enabled) {
  Element::on_enabled_changed(enabled);
  choose_state_child();
}

bool ButtonElement::on_pointer_button(const PointerEvent& event) {
  const bool was_pressed = pressed();
  if (event.reserved == 0) {
    m_pointer_pressed = event.pressed != 0 && event.cancelled == 0;
    m_last_point = {event.x, event.y};
  }
  if (m_pointer_pressed && m_listener) {
    DragInfo info{event.x, event.y, 0, 0, 0, 0};
    m_listener->dragged(*this, info);
  }
  state_changed(was_pressed, event.cancelled != 0, {event.x, event.y});
  return true;
}

void ButtonElement::on_pointer_move(const PointerEvent& event) {
  if (!m_pointer_pressed) return;
  DragInfo info{event.x, event.y, event.x - m_last_point.x, event.y - m_last_point.y, 0, 0};
  if (m_listener) m_listener->dragged(*this, info);
  m_last_point = {event.x - info.rest_x, event.y - info.rest_y};
}

bool ButtonElement::on_key(const KeyEvent& event) {
  if (m_bind_key == 0 || event.key != m_bind_key) return false;
  const bool was_pressed = pressed();
  m_key_pressed = event.pressed;
  const Point centre{clamp_to_int32(int64_t{position().x} + size().width / 2),
                     clamp_to_int32(int64_t{position().y} + size().height / 2)};
  state_changed(was_pressed, false, centre);
  return true;
}

void ButtonElement::state_changed(bool was_pressed, bool cancelled, Point point) {
  const bool cancel = cancelled || !effectively_enabled();
  const bool now_pressed = pressed();
  if (now_pressed != was_pressed) {
    if (m_listener) m_listener->press_state_changed(*this, {point.x, point.y, uint8_t(cancel)});
    choose_state_child();
  }
  // Last: the listener may rebuild the tree this button belongs to.
  if (was_pressed && !now_pressed && !cancel && hit_test(point) && m_listener)
    m_listener->clicked(*this, {point.x, point.y, 1});
}

}  // namespace lv
