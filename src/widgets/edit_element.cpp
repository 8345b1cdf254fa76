#include "widgets/edit_element.h"

#include "skin/properties.h"
#include "widgets/screen_host.h"

namespace lv {

std::u16string with_newline_ends(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != u'\n') {
      out += u'\n';
    }
  }
  return out;
}

EditElement::~EditElement() {
  if (edited()) screen_host().edit_natively(nullptr);
}

void EditElement::load(const Properties& properties, const SkinNode* node) {
  TextElement::load(properties, node);
  m_background_color = properties.get_color(node, u"background_color", Color{0, 0, 0, 255});
  const std::u16string unified = with_newline_ends(text());
  if (unified != text()) TextElement::set_text(unified);
}

bool EditElement::edited() const {
  return screen_host().edited_element() == this;
}

void EditElement::set_text(std::u16string_view text) {
  const std::u16string unified = with_newline_ends(text);
  if (unified == this->text()) return;
  TextElement::set_text(unified);
  if (edited()) screen_host().edit_natively(this);
  tell_listener();
}

bool EditElement::on_pointer_button(const PointerEvent& event) {
  if (event.pressed && !event.cancelled && !edited()) screen_host().edit_natively(this);
  return TextElement::on_pointer_button(event);
}

bool EditElement::on_char(std::u16string_view text) {
  if (!text.empty() && edited()) {
    invalidate_layout();
    tell_listener();
  }
  return true;
}

void EditElement::on_visibility_changed(bool shown) {
  TextElement::on_visibility_changed(shown);
  if (!shown && edited()) screen_host().edit_natively(nullptr);
}

void EditElement::layout_children_y() {
  TextElement::layout_children_y();
  if (edited()) screen_host().edit_natively(this);
}

void EditElement::tell_listener() {
  // The guard matters: a bare "edit" in a skin has no listener.
  if (m_listener) m_listener->text_changed(*this);
}

}  // namespace lv
