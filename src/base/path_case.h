#pragma once

// File names compare without regard to letter case, as on the handheld's
// file systems: a language or skin asked for as "GERMAN.lng" is found when
// the folder holds "german.lng".

#include <string>
#include <string_view>

namespace lv {

// The path (macros expanded) with its file name replaced by the first entry
// of its folder, in name order, that matches it ignoring case. An existing
// path is answered as it is; so is one for which no entry matches. Only the
// file name is resolved, not the folders above it.
std::u16string resolve_path_case(std::u16string_view path);

}  // namespace lv
