#include "widgets/menu_row.h"

#include <string>

#include "widgets/list_element.h"
#include "widgets/menu_screen.h"

namespace lv {

void MenuRow::bind_row(ListElement& list, bool) {
  const std::vector<MenuItem>& items = m_menu->items();
  if (index() < 0 || size_t(index()) >= items.size()) return;
  const MenuItem item = items[size_t(index())];

  m_buttons.fill(nullptr);
  build_from_node(list, m_menu->properties(), m_menu->row_style(item));

  if (item.key != u"Magic4Buttons") set_text_by_id(u"#text", m_menu->item_text(item));
  if (Element* separator = find_by_id(u"separator")) {
    separator->set_visible(item.separator);
    separator->set_size_listener(nullptr);
  }
  if (Element* checked = find_by_id(u"checked")) {
    checked->set_visible(item.checked);
    checked->set_size_listener(nullptr);
  }
  for (size_t i = 0; i < kButtonIds.size(); ++i) {
    m_buttons[i] = dynamic_cast<ButtonElement*>(find_by_id(kButtonIds[i]));
    if (m_buttons[i]) m_buttons[i]->set_listener(this);
  }
}

void MenuRow::clicked(ButtonElement& button, const ClickInfo&) {
  // The button ids are item keys; the menu may rebuild this row meanwhile.
  const std::u16string key = button.id();
  const std::u16string text = button.text();
  m_menu->open(key, text, false);
}

ButtonElement* MenuRow::button(std::u16string_view id) const {
  for (size_t i = 0; i < kButtonIds.size(); ++i)
    if (kButtonIds[i] == id) return m_buttons[i];
  return nullptr;
}

}  // namespace lv
