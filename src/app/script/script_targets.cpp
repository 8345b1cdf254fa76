#include "app/script/script_targets.h"

#include <algorithm>

#include "app/screen_stack.h"
#include "library/folder_record.h"
#include "screens/album_element.h"
#include "widgets/button.h"
#include "widgets/list_element.h"
#include "widgets/menu_screen.h"
#include "widgets/screen_root.h"
#include "widgets/text_element.h"

namespace lv {

namespace {

Rect intersection(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

Rect moved(const Rect& rect, Point offset) {
  return {saturating_add(rect.left, offset.x), saturating_add(rect.top, offset.y),
          saturating_add(rect.right, offset.x), saturating_add(rect.bottom, offset.y)};
}

class Search {
 public:
  Search(ScriptTarget by, std::u16string_view wanted) : m_by(by), m_wanted(wanted) {}

  // Positions inside `element` are screen positions less `offset` (a list
  // row's tree is laid out from its own top left); `clip` is the part of
  // the screen that its ancestors leave it.
  void visit(const Element& element, Point offset, const Rect& clip, const MenuItem* item,
             const MenuScreen* menu) {
    if (!element.visible()) return;
    const Rect shown = intersection(moved(element.rect(), offset), clip);
    if (shown.empty()) return;
    if (matches(element, item, menu)) {
      take(shown);
      return;
    }
    for (size_t i = 0; i < element.child_count(); ++i)
      visit(element.child(i), offset, shown, nullptr, nullptr);
    if (const auto* list = dynamic_cast<const ListElement*>(&element))
      visit_rows(*list, offset, shown);
  }

  const std::optional<Rect>& best() const { return m_best; }

 private:
  // A list's rows are trees of their own, drawn in bands down the list.
  void visit_rows(const ListElement& list, Point offset, const Rect& shown) {
    const auto* menu = dynamic_cast<const MenuScreen*>(list.provider());
    for (size_t i = 0; i < list.realised_count(); ++i) {
      const ListRow& row = list.realised(i);
      if (row.being_removed()) continue;
      const Point row_offset{saturating_add(offset.x, list.position().x),
                             saturating_add(offset.y, list.row_top(row))};
      const Rect band = moved({0, 0, list.size().width, row.shown_height()}, row_offset);
      const MenuItem* item = nullptr;
      if (menu && static_cast<size_t>(row.index()) < menu->items().size())
        item = &menu->items()[static_cast<size_t>(row.index())];
      visit(row, row_offset, intersection(shown, band), item, menu);
    }
  }

  bool matches(const Element& element, const MenuItem* item, const MenuScreen* menu) const {
    if (m_by == ScriptTarget::id) {
      if (item) return item->key == m_wanted;
      return !element.id().empty() && element.id() == m_wanted;
    }
    if (item) return menu->item_text(*item) == m_wanted;
    if (const auto* album = dynamic_cast<const AlbumElement*>(&element))
      return folder_display_name(album->record().folder) == m_wanted;
    if (const auto* text = dynamic_cast<const TextElement*>(&element))
      return text->text() == m_wanted;
    if (const auto* button = dynamic_cast<const ButtonElement*>(&element))
      return button->text() == m_wanted;
    return false;
  }

  void take(const Rect& shown) {
    if (!m_best || shown.top < m_best->top ||
        (shown.top == m_best->top && shown.left < m_best->left))
      m_best = shown;
  }

  ScriptTarget m_by;
  std::u16string_view m_wanted;
  std::optional<Rect> m_best;
};

}  // namespace

std::optional<Point> find_script_target(const ScreenStack& screens, Size client, ScriptTarget by,
                                        std::u16string_view wanted) {
  if (wanted.empty()) return std::nullopt;
  const Rect window{0, 0, client.width, client.height};
  for (size_t i = screens.size(); i-- > 0;) {
    Search search(by, wanted);
    search.visit(screens.at(i), {0, 0}, window, nullptr, nullptr);
    if (const std::optional<Rect>& found = search.best())
      return Point{found->left + found->width() / 2, found->top + found->height() / 2};
  }
  return std::nullopt;
}

}  // namespace lv
