#pragma once

// The one way a file is replaced: the new bytes go to a temporary file
// beside it, which is renamed over it, so a reader sees the old file or the
// whole new one and never a part. Used by the settings file and by the file
// utilities (cache files, folder lists).

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace lv::platform {

enum class Durability {
  synced,    // on disk before the rename: survives a crash or a pulled card
  unsynced,  // for files that can be made again: a torn one is refused when read
};

// Writes `bytes` to `path` (a file-system path). A path that is a symbolic
// link keeps being one: the file it names is replaced. The replaced file's
// permission bits are kept. A synced write flushes the file before the
// rename and the folder after it. On any failure the temporary file is
// removed, the old file is untouched and the answer is false. `written`,
// when given, receives the status of the new file.
bool write_file_atomically(const std::string& path, std::string_view bytes, Durability durability,
                           struct stat* written = nullptr);

// The path a write to `path` replaces: the target of a symbolic link, else
// the path itself.
std::string replaced_path(const std::string& path);

}  // namespace lv::platform
