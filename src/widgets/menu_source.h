#pragma once

// What a menu asks of the screen that opened it. A menu knows no items of
// its own: for every key opened (the root key, then each item chosen) the
// source performs what the key means and/or lists the items of the
// sub-menu it opens. No items closes the menu.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/menu_item.h"

namespace lv {

class MenuSource {
 public:
  // `tag` is the one the menu was made with; the caption comes in as the
  // menu will show it and may be changed.
  virtual void fill(int32_t tag, std::u16string_view key, std::u16string& caption,
                    std::vector<MenuItem>& items) = 0;

 protected:
  ~MenuSource() = default;
};

}  // namespace lv
