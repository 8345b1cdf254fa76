#pragma once

// What a path given to the program (on its command line, or handed over by
// a later start) asks it to show: a JPEG picture, with its folder as the
// list to step through, or a folder; or why it cannot be shown.

#include <string>
#include <string_view>
#include <vector>

#include "library/folder_record.h"

namespace lv {

struct OpenTarget {
  enum class Kind {
    picture,
    folder,
    missing,      // no such file or folder (or no path at all)
    not_picture,  // a file that is not a JPEG picture, or something else
    unreadable,   // a file that cannot be read
  };
  Kind kind = Kind::missing;
  // The picture, or the folder with its trailing separator; for the two
  // failures, the path as it was tried.
  std::u16string path;
  // The folder to list: the library's own record when the folder list has
  // it (its paths may start with a path macro, and `path` then does too),
  // else one made for it with the drive the search would give it and no
  // key picture, so that opening it changes nothing in the folder list.
  FolderRecord record;
};

// `path` is absolute; "." segments and doubled separators are dropped, and
// ".." taken by name where that leads to the same file. A file is a picture
// when it is a regular file that starts as every JPEG does (FF D8 FF),
// whatever its name says. `known`: the library's folder list.
OpenTarget find_open_target(std::u16string_view path, const std::vector<FolderRecord>& known);

}  // namespace lv
