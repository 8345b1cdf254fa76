#include "widgets/menu_screen.h"

#include "skin/properties.h"
#include "skin/skin_exceptions.h"
#include "widgets/button.h"
#include "widgets/menu_row.h"
#include "widgets/screen_host.h"
#include "widgets/text_element.h"
#include "widgets/widget_exceptions.h"

namespace lv {

MenuScreen::MenuScreen(int32_t tag, const Properties& properties, MenuSource* source,
                       std::u16string_view node_name, std::u16string_view default_style)
    : m_tag(tag),
      m_node_name(node_name),
      m_default_style(default_style),
      m_source(source),
      m_properties(properties) {
  load_named(properties, m_node_name);  // a missing node shows as a missing panel
  m_panel = &find_required(u"panel");
  m_caption = find_by_id(u"caption");
  m_list = dynamic_cast<ListElement*>(&find_required(u"vlist"));
  if (!m_list) throw jobser::NodeNotFound(id(), u"vlist");
  m_panel->set_size_listener(nullptr);
  if (m_caption) m_caption->set_size_listener(nullptr);
  m_list->set_provider(this);
}

MenuScreen::~MenuScreen() {
  if (m_on_stack) screen_host().remove_screen(*this, ScreenAnimation::none);
}

std::u16string MenuScreen::row_style(const MenuItem& item) const {
  const std::u16string_view suffix = item.enabled ? u"" : u"Disabled";
  // A row's own style is optional: a skin without it shows the row in the
  // menu's default style, which every skin must have.
  if (!item.style.empty()) {
    std::u16string own = item.style + std::u16string(suffix);
    if (m_properties.find_node(own)) return own;
  }
  return m_default_style + std::u16string(suffix);
}

std::u16string MenuScreen::item_text(const MenuItem& item) const {
  return item.text.empty() ? m_properties.language().lookup(item.key) : item.text;
}

void MenuScreen::set_caption(std::u16string_view caption) {
  if (!m_caption) return;
  if (auto* text = dynamic_cast<TextElement*>(m_caption))
    text->set_text(caption);
  else if (auto* button = dynamic_cast<ButtonElement*>(m_caption))
    button->set_text(caption);
  else
    m_caption->set_text_by_id(u"#text", caption);
}

void MenuScreen::open(std::u16string_view key_view, std::u16string_view caption_view, bool as_new) {
  // Copies: the key may live in an item or a row that this call replaces.
  const std::u16string key(key_view);
  std::u16string caption(caption_view);
  if (caption.empty()) caption = m_properties.language().lookup(key);

  std::vector<MenuItem> fresh;
  if (m_source) m_source->fill(m_tag, key, caption, fresh);
  // A row style the skin lacks is reported here, to the opener, rather than
  // from the drawing of some later frame.
  for (const MenuItem& item : fresh) {
    const std::u16string style = row_style(item);
    if (!m_properties.find_node(style)) throw jobser::NodeNotFoundInSkin(style);
  }

  std::vector<MenuItem> old = std::move(m_items);
  m_items = std::move(fresh);
  bool unchanged = !as_new && !m_items.empty() && m_items.size() == old.size();
  for (size_t i = 0; unchanged && i < m_items.size(); ++i) unchanged = m_items[i].key == old[i].key;

  set_caption(caption);
  if (unchanged) {
    m_list->rebind_all();
    return;
  }
  m_panel->set_visible(false);
  m_list->reset(static_cast<int32_t>(m_items.size()));
  ScreenHost& host = screen_host();
  if (m_items.empty()) {
    host.remove_screen(*this, ScreenAnimation::animated);
    m_on_stack = false;
    return;
  }
  if (as_new) {
    // Opened again while showing: one entry on the stack, not two. (A host
    // ignores the removal of a screen it no longer holds.)
    if (m_on_stack) host.remove_screen(*this, ScreenAnimation::none);
    host.add_screen(*this, ScreenLayer::overlay, ScreenAnimation::animated);
    m_on_stack = true;
  } else {
    host.size_to_client_area(*this);
  }
  m_panel->show_animated(true);
}

bool MenuScreen::on_key(const KeyEvent& event) {
  if (event.key != kKeyBackspace || !event.pressed) return false;
  screen_host().remove_screen(*this, ScreenAnimation::animated);
  m_on_stack = false;
  return true;
}

void MenuScreen::row_clicked(ListElement&, int32_t index) {
  if (index < 0 || size_t(index) >= m_items.size()) return;
  const MenuItem item = m_items[size_t(index)];
  if (item.enabled) open(item.key, item.text, false);
}

std::unique_ptr<ListRow> MenuScreen::create_row(ListElement&, int32_t index) {
  if (index < 0 || size_t(index) >= m_items.size()) return nullptr;
  return std::make_unique<MenuRow>(*this);
}

}  // namespace lv
