#pragma once

// The base of every row of a scrolling list ("vlist"). A row is the root of
// its own small tree, laid out at (0, 0) at the list's width and drawn by
// the list at its place; the list creates rows through its provider as they
// scroll into view and destroys them as they scroll out. A row shows one of
// the state children "#vlist_normal", "#vlist_pressed" and
// "#vlist_selected" (each optional) as the list tells it.

#include <cstdint>
#include <string_view>

#include "widgets/screen_root.h"

namespace lv {

class ListElement;

class ListRow : public ScreenRoot {
 public:
  // The row's index in the list; -1 while it shrinks away after remove_row.
  int32_t index() const { return m_index; }
  bool being_removed() const { return m_index < 0; }
  // The part of the row's height shown now: it grows from 0 to the full
  // height while the row slides open and falls to 0 while it shrinks away.
  double extent() const { return m_extent; }
  int32_t shown_height() const { return static_cast<int32_t>(m_extent); }
  int32_t full_height() const { return size().height; }
  bool appearing() const { return m_appearing; }

  // Fills the row for its index (set just before): `created` for a row the
  // provider has just made, false when the list refreshes a realised row.
  virtual void bind_row(ListElement& list, bool created);

 protected:
  // Rebuilds the row from a named top-level skin node. The old children go
  // to the list, which frees them once the event being handled is over, so
  // a row may rebuild itself from inside a click on one of its buttons.
  // Throws jobser::NodeNotFoundInSkin (the name) when the skin has no such
  // node, leaving the row empty.
  void build_from_node(ListElement& list, const Properties& properties,
                       std::u16string_view node_name);

 private:
  friend class ListElement;

  int32_t m_index = 0;
  double m_extent = 0;
  bool m_appearing = false;
};

}  // namespace lv
