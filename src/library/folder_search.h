#pragma once

// The search that rebuilds the library's folder list and queues every
// picture without a valid cache file. It runs on the library's worker.
//
// Drives are the storage cards in enumeration order, then the pictures
// folder. On each drive every "*.jpg" in walk order (folders' own files
// before their sub-folders, names sorted), then every "*.jpeg", is counted
// in the record of its folder (made when the folder is first met, with that
// picture as key picture); paths containing "Program Files", "Windows" or
// "!lumiviewcache" are left out. A picture whose cache file is valid keeps
// it; every other entry of the drive's cache folder is deleted, so stale,
// damaged and empty cache files go and their pictures are queued again.
// (When the cache folder holds no file at all, no picture can have a cache
// file, and the pictures are queued without being looked at one by one.)

#include <string>

#include "library/cache_build.h"

namespace lv {

struct LibraryState;

struct SearchSummary {
  bool complete = false;  // false: the stop request ended it early
  int drives = 0;
  int pictures = 0;  // counted in the folder list
  int cached = 0;    // with a valid cache file
  int queued = 0;    // newly queued (not queued already)
  int deleted = 0;   // cache folder entries removed
};

class FolderSearch {
 public:
  FolderSearch(LibraryState& state, StopRequest stop);

  // Empties the folder list, starts a new progress round and clears the
  // failed marks, then checks every drive. Stopped early, it leaves the
  // partial list as it is and skips every clean-up step.
  SearchSummary search();

  // One drive, given with its trailing separator. False when stopped.
  bool check_drive(const std::u16string& drive);

  const SearchSummary& summary() const { return m_summary; }

 private:
  bool stopped() const { return m_stop && m_stop(); }

  LibraryState& m_state;
  StopRequest m_stop;
  SearchSummary m_summary;
};

// Whether the search leaves a picture out because of its path.
bool left_out_of_search(std::u16string_view path);

}  // namespace lv
