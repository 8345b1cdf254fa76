#pragma once

// One picture folder of the library's list, and the small rules about folder
// paths that the search, the folder list file and the screens share.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

struct FolderRecord {
  std::u16string drive;        // the searched root, with its trailing separator
  std::u16string folder;       // the key picture's folder, with its trailing separator
  std::u16string key_picture;  // the first picture found in the folder
  int32_t size = 0;            // pictures counted in it

  bool operator==(const FolderRecord&) const = default;
};

// The drive path of the user's pictures folder. Records keep the macro
// unexpanded; the file utilities expand it whenever it reaches the disk.
inline constexpr std::u16string_view kMyDocumentsDrive = u"%my_documents%/";

// The name the screens show for a folder, given one of its pictures or the
// folder path with its trailing separator: the last folder name of the path,
// or "My documents" for the pictures folder itself.
std::u16string folder_display_name(std::u16string_view path);

// Index of the first record whose folder path is exactly `folder`, or -1.
// `hint` is tried first (the search meets the pictures of a folder in a row);
// it must not be used on a list that may hold a folder twice.
int find_folder_record(const std::vector<FolderRecord>& records, std::u16string_view folder,
                       int hint = -1);

}  // namespace lv
