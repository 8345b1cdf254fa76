#pragma once

// The freedesktop.org trash: a deleted picture is moved, not destroyed, so a
// mistaken delete can be undone from any file manager.

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace lv::platform {

enum class TrashResult { trashed, deleted, failed };

struct TrashOutcome {
  TrashResult result = TrashResult::failed;
  std::string trashed_path;  // the file's new path in the trash's files/ folder, when trashed
  std::string problem;       // why, when failed: a short, plain sentence for the user
};

// Moves the file (UTF-8 absolute path) to the freedesktop trash: the home
// trash ($XDG_DATA_HOME/Trash) when the file is on the same file system as
// it, else the volume's $topdir/.Trash/$UID (when $topdir/.Trash is a real
// folder with the sticky bit) or $topdir/.Trash-$UID, made when missing. The
// .trashinfo file is made first (O_EXCL, a numbered name when the name is
// taken) and removed again when the move fails. Only where no trash can be
// made is the file deleted outright (deleted). When neither works (read-only
// card, file gone), failed with a problem text, and the file is untouched.
TrashOutcome move_to_trash(const std::string& path);

// What move_to_trash takes from the system, replaceable so that tests can
// give a folder a device of its own (a second volume) and fix the clock.
struct TrashSystem {
  std::string home_trash;  // "$XDG_DATA_HOME/Trash"
  uid_t uid = 0;
  std::time_t now = 0;
  // The device of a path (lstat), or nothing when it cannot be read.
  std::function<std::optional<dev_t>(const std::string&)> device;
};
TrashSystem current_trash_system();
TrashOutcome move_to_trash(const std::string& path, const TrashSystem& system);

// The value of a .trashinfo Path key: RFC 2396 escaping of every byte but
// the unreserved characters and '/'.
std::string trash_percent_encode(const std::string& path);

}  // namespace lv::platform
