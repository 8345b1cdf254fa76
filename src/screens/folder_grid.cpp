#include "screens/folder_grid.h"

#include <algorithm>

#include "base/file_search.h"

namespace lv {

int32_t folder_columns(int32_t screen_width, int32_t skin_scale) {
  const int32_t scale = std::clamp(skin_scale, 0, 2);
  const int32_t width = std::max(screen_width, 0) >> scale;
  return std::clamp((width - kFolderGridMargin) / kFolderCellWidth, 1, kFolderMaxColumns);
}

int32_t folder_row_count(size_t pictures, int32_t columns) {
  if (columns < 1 || pictures == 0) return 0;
  const size_t k = static_cast<size_t>(columns);
  const size_t rows = (pictures + k - 1) / k;
  return rows > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(rows);
}

int32_t folder_row_cells(int32_t row, size_t pictures, int32_t columns) {
  if (row < 0 || columns < 1) return 0;
  const size_t first = static_cast<size_t>(row) * static_cast<size_t>(columns);
  if (first >= pictures) return 0;
  return static_cast<int32_t>(std::min(pictures - first, static_cast<size_t>(columns)));
}

std::vector<std::u16string> list_folder_pictures(std::u16string_view folder) {
  CollectingVisitor visitor;
  find_files(visitor, folder, u"*.jpg", u"*", Recursion::flat);
  find_files(visitor, folder, u"*.jpeg", u"*", Recursion::flat);
  return std::move(visitor.files);
}

}  // namespace lv
