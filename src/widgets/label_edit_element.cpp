#include "widgets/label_edit_element.h"

#include "skin/properties.h"
#include "skin/skin_exceptions.h"
#include "widgets/skin_values.h"
#include "widgets/text_element.h"

namespace lv {

namespace {

template <typename T>
T& required_child(const Element& parent, std::u16string_view id) {
  if (T* found = dynamic_cast<T*>(parent.find_by_id(id))) return *found;
  throw jobser::NodeNotFound(parent.id(), std::u16string(id));
}

}  // namespace

void LabelEditElement::load(const Properties& properties, const SkinNode* node) {
  m_edit = nullptr;
  m_label = nullptr;
  m_clear = nullptr;
  Element::load(properties, node);
  m_placeholder = read_text(properties, node, u"text");
  m_edit = &required_child<EditElement>(*this, u"#edit");
  m_edit->set_listener(this);
  m_label = &required_child<TextElement>(*this, u"#text");
  m_label->set_size_listener(nullptr);
  m_label->set_text(m_placeholder);
  m_clear = dynamic_cast<ButtonElement*>(find_by_id(u"clear"));
  if (m_clear) m_clear->set_listener(this);
  show_placeholder_or_clear();
}

void LabelEditElement::show_placeholder_or_clear() {
  const bool empty = m_edit->text().empty();
  m_label->set_visible(empty);
  if (m_clear) m_clear->set_visible(!empty);
}

void LabelEditElement::text_changed(EditElement& edit) {
  if (&edit == m_edit) show_placeholder_or_clear();
  if (m_listener) m_listener->text_changed(edit);
}

void LabelEditElement::clicked(ButtonElement& button, const ClickInfo&) {
  if (&button == m_clear && m_edit) m_edit->set_text(u"");
}

}  // namespace lv
