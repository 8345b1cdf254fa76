#pragma once

// One entry of a popup menu, as a MenuSource hands it over.

#include <cstdint>
#include <string>

namespace lv {

struct MenuItem {
  // The item's identity, passed back to the source when it is chosen.
  std::u16string key;
  // Shown as it is; when empty the row shows the key's language text.
  std::u16string text;
  // Free for the source's own use; the menu never reads it.
  std::u16string data;
  // The top-level skin node the row is built from; empty for the menu's
  // default style. A disabled item uses the node of that name followed by
  // "Disabled".
  std::u16string style;
  bool enabled = true;
  bool separator = false;
  bool checked = false;
};

}  // namespace lv
