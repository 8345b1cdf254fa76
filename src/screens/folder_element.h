#pragma once

// One row of the folder screen's grid, built from the skin node
// "FolderElement": the cell buttons "button0" ... "button5", each with an
// "image" child where a thumbnail goes, and the pictures "bad" and
// "loading" that stand in for thumbnails that failed or are not loaded yet.
// Binding shows the cells the row uses and hides or disables the others.

#include <array>
#include <cstdint>
#include <string>

#include "screens/folder_grid.h"
#include "skin/bitmap.h"
#include "widgets/list_row.h"

namespace lv {

class ButtonElement;
class FolderScreen;
class ImageElement;

class FolderElement : public ListRow {
 public:
  explicit FolderElement(FolderScreen& screen) : m_screen(&screen) {}

  // "button0" ... "button5".
  static std::u16string cell_id(int32_t c);

  void bind_row(ListElement& list, bool created) override;

  // Which cell of this row the button is, or -1.
  int32_t cell_of(const ButtonElement& button) const;

 private:
  void build(ListElement& list);
  void bind_cell(int32_t c, int32_t used);

  FolderScreen* m_screen;
  std::array<ButtonElement*, kFolderMaxColumns> m_cells{};
  std::array<ImageElement*, kFolderMaxColumns> m_images{};
  Picture m_bad;
  Picture m_loading;
  int32_t m_columns = 0;
};

}  // namespace lv
