#pragma once

// The photo library's shared state and its locks, for the library's own
// parts (the search and the worker). Screens use PhotoLibrary instead.
//
// Lock order, outermost first: need_search_mutex, map_mutex, folders_mutex,
// progress_mutex, current_folder_mutex. save_mutex is taken with none of
// them held. Every use of a lock is framed by the log lines
// "<operation> <lock name> start" and "... end".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/thread.h"
#include "library/folder_record.h"
#include "library/library_progress.h"
#include "library/thumbnail_queue.h"

namespace lv {

// What a picture file was when its build failed: a file copied again or
// mended since differs in size or modification time and is built again.
struct FileStamp {
  uint64_t size = 0;
  int64_t modified_ns = 0;
  bool operator==(const FileStamp&) const = default;
};
// None when the file cannot be looked at.
std::optional<FileStamp> file_stamp(std::u16string_view path);

struct LibraryState {
  Lock need_search_mutex;
  bool need_search = false;  // a search has been asked for
  bool searching = false;    // the worker is inside a search

  Lock map_mutex;
  ThumbnailQueue queue;
  // Pictures whose cache file could not be made, until the next search or
  // until the file changes.
  // (No stamp: the file could not be looked at; it counts as changed once
  // it can.)
  std::unordered_map<std::u16string, std::optional<FileStamp>> failed;
  // The pictures being made, each by one builder.
  std::unordered_set<std::u16string> building;

  Lock folders_mutex;
  std::vector<FolderRecord> folders;

  // One lock, logged under the name of the value touched.
  Lock progress_mutex;
  LibraryProgress progress;

  Lock current_folder_mutex;
  std::u16string current_folder;  // the folder the user looked at last

  Lock save_mutex;  // one writer of the folder list file at a time
};

// Log names of the locks.
inline constexpr std::u16string_view kNeedSearchLock = u"m_need_search_mutex";
inline constexpr std::u16string_view kMapLock = u"m_map_mutex";
inline constexpr std::u16string_view kFoldersLock = u"m_folders_mutex";
inline constexpr std::u16string_view kProgressMaxLock = u"m_progress_max_mutex";
inline constexpr std::u16string_view kProgressValueLock = u"m_progress_value_mutex";
inline constexpr std::u16string_view kSearchCompleteLock = u"m_search_complete_mutex";
inline constexpr std::u16string_view kPictureCompleteLock = u"m_picture_complete_mutex";
inline constexpr std::u16string_view kCurrentFolderLock = u"m_current_folder_mutex";
inline constexpr std::u16string_view kSaveLock = u"m_save_mutex";

// Holds a lock for a scope, logging "<operation> <name> start" before taking
// it and "<operation> <name> end" before releasing it.
class LockUse {
 public:
  LockUse(Lock& lock, std::u16string_view operation, std::u16string_view name);
  ~LockUse();
  LockUse(const LockUse&) = delete;
  LockUse& operator=(const LockUse&) = delete;

 private:
  Lock& m_lock;
  std::u16string_view m_operation;
  std::u16string_view m_name;
};

}  // namespace lv
