#pragma once

// The storage cards the library searches. On this system a card is a folder
// named in LUMIVIEW_CARDS (':'-separated) or, when that is not set, a
// mounted volume under /media/, /run/media/ or /mnt/.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class FileVisitor;

// Cards of at most this many bytes are not searched (boot partitions and
// other tiny volumes hold no photos).
inline constexpr uint64_t kMinCardBytes = 1'000'000;

// Calls visitor.on_folder with the path of every card to search (no trailing
// separator), in enumeration order, until it answers false. Logs
// "find_drives: mydoc={...}" and, per card, "returning result={...}" or
// "skipping result={...}".
void find_drives(FileVisitor& visitor);

// The cards before any is left out: LUMIVIEW_CARDS when set (relative
// entries made absolute, empty entries dropped, trailing separators
// removed), else the removable mount points.
std::vector<std::u16string> card_candidates();

// The mount points in the text of /proc/self/mounts that lie under /media/,
// /run/media/ or /mnt/, in the order listed, octal escapes decoded.
std::vector<std::u16string> removable_mount_points(std::string_view mounts);

// Whether a card is left out of the search: it holds the pictures folder
// (its path leads the pictures folder's) or lies inside it, or its volume
// is too small. Paths are compared as normalised absolute paths.
bool card_left_out(std::u16string_view card, std::u16string_view my_documents,
                   uint64_t volume_bytes);

// The drive a picture or folder outside the folder list belongs to, as the
// search would give it: the card that holds it (of those find_drives
// returns), else the pictures folder ("%my_documents%/") when it lies in
// it, else the root of the volume it lies on (a mount point), each with a
// trailing separator. The cache files of a volume root the user cannot
// write go to the user's cache folder (cache_location.h), so opening a
// picture from anywhere never writes beside it.
std::u16string drive_of(std::u16string_view path);

// The mount point in the text of /proc/self/mounts that holds the
// absolute path: the longest one leading it ("/" when none other does).
std::u16string mount_point_of(std::string_view mounts, std::u16string_view path);

// Whether one of two paths contains the other (or they are the same),
// comparing whole names: "/media/card" holds "/media/card/DCIM" but not
// "/media/card2".
bool paths_nest(std::u16string_view a, std::u16string_view b);

}  // namespace lv
