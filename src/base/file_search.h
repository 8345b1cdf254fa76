#pragma once

// The recursive file search shared by the photo library, the menus and the
// folder screen.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class FileVisitor {
 public:
  virtual ~FileVisitor() = default;
  // Called for each file matching the file pattern; false stops the search.
  virtual bool on_file(const std::u16string& path) = 0;
  // Called for each sub-folder matching the folder pattern; false stops the
  // search, true goes on (and descends, when recursive).
  virtual bool on_folder(const std::u16string& path) = 0;
};

enum class Recursion { flat, recursive };

// Lists the folder sorted by name: matching files first, then matching
// sub-folders (each descended into at once when recursive). Patterns match
// without regard to letter case ('*' and '?'). Links to files and folders
// count as what they point to. A recursive search leaves out hidden folders
// (a name starting with '.', which takes in the volumes' .Trash-UID) and the
// home trash ($XDG_DATA_HOME/Trash), and walks each real folder (device and
// inode) once, however many links lead to it, so a link loop ends. Always
// answers true.
bool find_files(FileVisitor& visitor, std::u16string_view folder, std::u16string_view file_pattern,
                std::u16string_view folder_pattern, Recursion recursion);

// Case-insensitive wildcard match of a file name against a pattern.
bool match_pattern(std::u16string_view pattern, std::u16string_view name);

// The files of one folder (not of its sub-folders) that match the pattern,
// in search order, up to `limit` of them; `accept`, when given, passes over
// the paths it answers false for.
std::vector<std::u16string> list_folder_files(
    std::u16string_view folder, std::u16string_view file_pattern, size_t limit = SIZE_MAX,
    const std::function<bool(const std::u16string& path)>& accept = {});

// A name given by a user, a settings file or a menu id names a file in the
// folder only when it is one plain file name: not empty, no separator, not
// "." or "..".
bool is_plain_file_name(std::u16string_view name);

// The last part of a path without the extension (matched regardless of
// letter case; kept when the name has another one).
std::u16string file_name_without_extension(std::u16string_view path, std::u16string_view extension);

// Collects what the search reports.
class CollectingVisitor : public FileVisitor {
 public:
  bool on_file(const std::u16string& path) override;
  bool on_folder(const std::u16string& path) override;
  std::vector<std::u16string> files;
  std::vector<std::u16string> folders;
};

}  // namespace lv
