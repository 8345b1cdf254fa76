#pragma once

// A row of a popup menu: rebuilt from its item's style node at every bind,
// showing the item's text, its "separator" and "checked" children as the
// item says, and working the optional buttons "About", "Help", "Minimize"
// and "Exit", whose ids act as item keys (the main menu's "Magic4Buttons"
// row offers all four in one row).

#include <array>

#include "widgets/button.h"
#include "widgets/list_row.h"

namespace lv {

class MenuScreen;

class MenuRow : public ListRow, public ButtonListener {
 public:
  static constexpr std::array<std::u16string_view, 4> kButtonIds = {u"About", u"Help", u"Minimize",
                                                                    u"Exit"};

  explicit MenuRow(MenuScreen& menu) : m_menu(&menu) {}

  void bind_row(ListElement& list, bool created) override;
  void clicked(ButtonElement& button, const ClickInfo& info) override;

  // The row's button with one of the ids above, or null.
  ButtonElement* button(std::u16string_view id) const;

 private:
  MenuScreen* m_menu;
  std::array<ButtonElement*, 4> m_buttons{};
};

}  // namespace lv
