#pragma once

// The arithmetic and the listing behind the folder screen's thumbnail grid:
// how many columns a screen width holds, how many rows the pictures fill,
// how many cells a row uses, and which pictures a folder holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

inline constexpr int32_t kFolderMaxColumns = 6;
// Width of one grid cell and the margin the grid keeps, in skin units.
inline constexpr int32_t kFolderCellWidth = 58;
inline constexpr int32_t kFolderGridMargin = 8;

// Columns for a screen width in pixels at a skin scale: the width in skin
// units less the margin, in whole cells, never fewer than 1 (a narrow
// window would otherwise give none and an empty grid) nor more than 6.
int32_t folder_columns(int32_t screen_width, int32_t skin_scale);

// Rows that `pictures` thumbnails fill at `columns` per row.
int32_t folder_row_count(size_t pictures, int32_t columns);

// Cells of row `row` that hold a picture: `columns`, except in the last row
// when the pictures do not fill it; 0 for a row past the end.
int32_t folder_row_cells(int32_t row, size_t pictures, int32_t columns);

// The pictures of one folder, not descending into sub-folders: every
// "*.jpg" in name order, then every "*.jpeg" (letter case ignored).
std::vector<std::u16string> list_folder_pictures(std::u16string_view folder);

}  // namespace lv
