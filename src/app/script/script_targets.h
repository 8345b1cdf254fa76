#pragma once

// Where a scripted tap on a named element lands. The screens are searched
// as they stand, from the top of the stack down (an open menu first), and
// the first screen holding a match decides; in it, the match nearest the
// top of the screen, then the left, is taken. An element is seen only while
// it and its ancestors are visible and only where it lies inside all of
// them (a list's rows inside the list and their own band), because a tap
// elsewhere would not reach it; the point is the centre of that part. A
// matching element is the target itself: its children are not searched.
// User-interface thread only.

#include <optional>
#include <string_view>

#include "skin/geometry.h"

namespace lv {

class ScreenStack;

enum class ScriptTarget {
  // The skin id; for a menu row, its item's key ("DeleteYes", "Skin#default").
  id,
  // What the element shows, exactly: a text's or button's text, a menu
  // row's item text, an album row's folder name.
  text,
};

std::optional<Point> find_script_target(const ScreenStack& screens, Size client, ScriptTarget by,
                                        std::u16string_view wanted);

}  // namespace lv
