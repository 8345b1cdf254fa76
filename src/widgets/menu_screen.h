#pragma once

// A popup menu: a screen built from a skin node holding a "panel", an
// optional "caption" and the scrolling list "vlist", whose rows are built
// from the skin nodes named by each item's style. The menu asks its
// MenuSource for the items of a key; choosing an item asks again with the
// item's key, and the answer either replaces the rows (a sub-menu) or, when
// empty, closes the menu. The menu puts itself on the application's screen
// stack (screen_host()) and takes itself off; Backspace closes it. The
// screen that creates the menu owns it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/list_element.h"
#include "widgets/list_provider.h"
#include "widgets/menu_item.h"
#include "widgets/menu_source.h"
#include "widgets/screen_root.h"

namespace lv {

class MenuScreen : public ScreenRoot, public ListProvider {
 public:
  // Builds the tree from the named node; throws jobser::NodeNotFound when
  // it has no "panel" or no "vlist" (a missing node leaves both missing).
  MenuScreen(int32_t tag, const Properties& properties, MenuSource* source,
             std::u16string_view node_name, std::u16string_view default_style);
  // Takes the menu off the screen stack when it put itself there, so that
  // the stack never holds a destroyed screen.
  ~MenuScreen() override;

  // Asks the source for the key's items and shows them under the caption
  // (the key's language text when empty). `as_new` puts the menu on the
  // screen stack; otherwise the rows are replaced in place, and an answer
  // with the same keys as before only refreshes the rows, keeping the
  // scroll position. No items closes the menu. Throws
  // jobser::NodeNotFoundInSkin, before anything changes, when an item's
  // style node is missing.
  void open(std::u16string_view key, std::u16string_view caption, bool as_new);

  // Backspace pressed closes the menu.
  bool on_key(const KeyEvent& event) override;

  void row_clicked(ListElement& list, int32_t index) override;
  std::unique_ptr<ListRow> create_row(ListElement& list, int32_t index) override;

  int32_t tag() const { return m_tag; }
  const Properties& properties() const { return m_properties; }
  const std::vector<MenuItem>& items() const { return m_items; }
  ListElement& list() const { return *m_list; }
  Element& panel() const { return *m_panel; }
  Element* caption() const { return m_caption; }
  const std::u16string& default_style() const { return m_default_style; }

  // The node a row of the item is built from ("Disabled" appended for a
  // disabled item): its own style, or the menu's default one when the skin
  // lacks that; and the text it shows.
  std::u16string row_style(const MenuItem& item) const;
  std::u16string item_text(const MenuItem& item) const;

 private:
  void set_caption(std::u16string_view caption);

  int32_t m_tag;
  std::u16string m_node_name;
  std::u16string m_default_style;
  ListElement* m_list = nullptr;
  Element* m_panel = nullptr;
  Element* m_caption = nullptr;
  MenuSource* m_source;
  std::vector<MenuItem> m_items;
  const Properties& m_properties;
  bool m_on_stack = false;  // put there by this menu and not taken off by it
};

}  // namespace lv
