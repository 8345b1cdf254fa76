#pragma once

// The photo library: the one object that owns the folder list, the queue of
// pictures that still need a cache file, the progress of making them, and
// the worker thread that searches the drives when asked and otherwise makes
// one cache file at a time, the current folder's first.
//
// Screens never wait for the worker. They read the folder list, queue the
// pictures they want to show (add_picture), and call poll() on every timer
// tick, which turns what the worker did into LibraryEvents delivered to the
// listeners on the calling thread. Everything but the worker's own steps is
// meant for the user-interface thread; the folder list reads may be called
// from any thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/cache_build.h"
#include "library/folder_record.h"
#include "library/folder_search.h"
#include "library/library_event.h"

namespace lv {

class PhotoLibrary {
 public:
  using CacheBuilder = std::function<CacheBuildResult(
      std::u16string_view picture, std::u16string_view drive, const StopRequest& stop)>;
  using ListWriter =
      std::function<bool(const std::u16string& path, const std::vector<FolderRecord>& records)>;

  enum class Worker {
    start,   // the worker thread runs from construction to destruction
    manual,  // no thread: the owner calls search() and create_cache()
  };

  struct Options {
    // Where the folder list is kept; "" keeps none.
    std::u16string folder_list_path;
    Worker worker = Worker::start;
    // Makes one cache file; make_cache_file when empty.
    CacheBuilder builder;
    // Writes the folder list; write_folder_list when empty.
    ListWriter list_writer;
  };
  // The program's options: the folder list in the state folder, a worker.
  static Options default_options();

  enum class AddResult {
    queued,
    already_queued,  // nothing changed
    failed,          // its cache file could not be made; show it as bad
  };

  struct Status {
    bool search_pending = false;
    bool searching = false;
    int queued = 0;  // pictures waiting, the one being made included
    int progress_value = 0;
    int progress_maximum = 0;
    bool idle() const { return !search_pending && !searching && queued == 0; }
  };

  // Loads the folder list, posts folders_changed for the first poll and
  // starts the worker. A second instance is a fatal stop.
  explicit PhotoLibrary(Options options = default_options());
  // Stops the worker (a search at its next file-system entry, a build at
  // its next scan line) and waits for it; a folder list save still pending
  // is written first.
  ~PhotoLibrary();
  PhotoLibrary(const PhotoLibrary&) = delete;
  PhotoLibrary& operator=(const PhotoLibrary&) = delete;

  // The single instance, or null while none exists.
  static PhotoLibrary* instance();

  // Listeners are not owned; each removes itself before it is destroyed.
  void add_listener(LibraryListener* listener);
  void remove_listener(LibraryListener* listener);
  // Delivers what happened since the last poll; answers the number of events.
  int poll();
  // Delivers an event to the listeners at the next poll (the image screen's
  // folder_size_changed and pictures_changed).
  void post_event(LibraryEvent event);

  // Asks for a search; never waits. A request made during a search leads to
  // another search after it.
  void need_search();
  // Queues a picture that has no valid cache file; its folder becomes the
  // current one, whose pictures the worker makes first. A picture whose
  // build failed is refused until the next search, or until its file has
  // changed (size or modification time); so is one whose drive names no
  // folder.
  AddResult add_picture(std::u16string_view picture, std::u16string_view drive);
  // The image viewer shows a picture itself: take it out of the current
  // folder's queue entry. When that entry exists but does not hold it, the
  // next poll reports it as complete.
  void withdraw_picture(std::u16string_view picture);
  void set_current_folder(std::u16string_view folder);
  bool picture_failed(std::u16string_view picture) const;

  int get_folders_size() const;
  // A copy of the record, or none when the index is not in the list (any
  // more: the list may change between a size and a get).
  std::optional<FolderRecord> get_folder(int index) const;
  // The first record whose key picture is exactly this path, or -1.
  int search_folder_num(std::u16string_view picture) const;
  std::vector<FolderRecord> folders() const;
  // Change the record of the picture's folder, save the list and post
  // folders_changed. A size of 0 removes the record. With a worker the list
  // is written by a writer thread of the library (the caller never waits
  // for the disk); without one, before these return.
  void set_key_picture(std::u16string_view picture, std::u16string_view key_picture);
  void set_folder_size(std::u16string_view picture, int32_t size);

  Status status() const;
  SearchSummary last_search() const;

  // The worker's steps, for a library made with Worker::manual (false and
  // nothing done while a worker runs). search() searches, saves a complete
  // list and reports search_complete; false when stopped early.
  // create_cache() makes at most one cache file; false when no queued
  // picture is left that is not being made. Several threads may call
  // create_cache() at once (each makes another picture), but not while
  // search() runs.
  bool search();
  bool create_cache();
  // Ends a running search() at its next file-system entry and every build
  // at its next scan line; later steps stop at once.
  void request_stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
