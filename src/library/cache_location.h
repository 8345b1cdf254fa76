#pragma once

// Where the cache files of a drive's pictures live. Every other part of the
// program reaches the folder through cache_folder() (cache_file.h), which
// asks this.
//
// Normally the folder is "!lumiviewcache" at the drive's root. A drive whose
// root cannot be written (a card mounted read-only, a folder of another
// user) keeps its cache files in the user's cache folder instead, under
// $XDG_CACHE_HOME/lumiview/ and a name made from the drive's path, so that
// its pictures still get thumbnails and are not queued again and again.

#include <string>
#include <string_view>

namespace lv {

// "!lumiviewcache" at the drive's root: the drive path, a separator when it
// has none at its end, and the folder name.
std::u16string card_cache_folder(std::u16string_view drive);

// $XDG_CACHE_HOME/lumiview/<the expanded drive path, '%' and '/' written as
// "%25" and "%2F">/!lumiviewcache; "" when there is no cache folder.
std::u16string fallback_cache_folder(std::u16string_view drive);

// The card's own folder when it is a folder that can be written, or can be
// made because the root can be written; the fallback when the root exists
// but neither holds. A drive that is not there at all keeps its own name.
// "" for a drive that names no absolute folder (an empty one from a damaged
// folder list), whose cache would land wherever the program was started.
std::u16string drive_cache_folder(std::u16string_view drive);

// Makes the drive's cache folder when it is missing, and only while the
// drive's root is there: a card pulled while its pictures are queued leaves
// a bare mount point, and nothing may be made on the file system below it.
// The card's own folder is made alone (its parent is the root); the fallback
// gets its parents below the user's cache folder. True when it exists.
bool make_cache_folder(std::u16string_view drive);

}  // namespace lv
