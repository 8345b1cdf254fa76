#include "library/photo_library.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

#include "base/log.h"
#include "base/settings.h"
#include "base/thread.h"
#include "library/cache_file.h"
#include "library/folder_list.h"
#include "library/library_state.h"
#include "platform/text.h"

namespace lv {

namespace {

std::atomic<PhotoLibrary*> s_instance{nullptr};

}  // namespace

struct PhotoLibrary::Impl {
  class WorkerThread : public Thread {
   public:
    explicit WorkerThread(PhotoLibrary::Impl& library) : m_library(library) {}

   protected:
    void run() override { m_library.run(); }

   private:
    PhotoLibrary::Impl& m_library;
  };

  // Writes the folder list when a setter asks, so that a screen never
  // waits for the disk. A save asked for before the end is written before
  // the thread ends.
  class ListSaver : public Thread {
   public:
    explicit ListSaver(PhotoLibrary::Impl& library) : m_library(library) {}
    void request() {
      {
        LockGuard guard(m_lock);
        m_pending = true;
      }
      m_wake.set();
    }
    void finish() {
      request_stop();
      m_wake.set();
      join();
    }

   protected:
    void run() override {
      for (;;) {
        m_wake.wait();
        bool pending = false;
        {
          LockGuard guard(m_lock);
          pending = std::exchange(m_pending, false);
        }
        if (pending) m_library.save_folders();
        if (stop_requested()) return;
      }
    }

   private:
    PhotoLibrary::Impl& m_library;
    Lock m_lock;
    bool m_pending = false;
    Event m_wake{EventReset::automatic};
  };

  explicit Impl(Options given) : options(std::move(given)), worker(*this), saver(*this) {
    if (!options.builder)
      options.builder = [](std::u16string_view picture, std::u16string_view drive,
                           const StopRequest& stop) {
        return make_cache_file(picture, drive, stop);
      };
    if (!options.list_writer) options.list_writer = write_folder_list;
    stop = [this] { return worker.stop_requested(); };
  }

  Options options;
  LibraryState state;
  // Manual reset. Set, together with the state that calls for work, under
  // the lock that the worker holds while it checks that state and resets
  // the event, so that no request falls between the check and the reset.
  Event wake{EventReset::manual};
  WorkerThread worker;
  bool worker_started = false;
  ListSaver saver;
  bool saver_started = false;
  StopRequest stop;
  SearchSummary last_search;  // under need_search_mutex

  // User-interface thread only.
  std::vector<LibraryListener*> listeners;

  void run();
  bool wait_for_work();
  bool take_search_request();
  bool search_step();
  bool cache_step();
  void load_folders();
  void save_folders();
  // From the setters: by the saver when it runs, else at once.
  void request_save() {
    if (saver_started)
      saver.request();
    else
      save_folders();
  }
  void post(LibraryEvent event, std::u16string_view operation) {
    LockUse progress(state.progress_mutex, operation, kPictureCompleteLock);
    state.progress.post(std::move(event));
  }
};

void PhotoLibrary::Impl::run() {
  worker.set_priority(-1);
  while (wait_for_work()) {
    if (take_search_request()) {
      search_step();
      if (worker.stop_requested()) return;
    }
    cache_step();
  }
}

bool PhotoLibrary::Impl::wait_for_work() {
  for (;;) {
    {
      LockUse need(state.need_search_mutex, u"run", kNeedSearchLock);
      LockUse map(state.map_mutex, u"run", kMapLock);
      if (worker.stop_requested()) return false;
      if (state.need_search || !state.queue.empty()) return true;
      wake.reset();
    }
    wake.wait();
  }
}

bool PhotoLibrary::Impl::take_search_request() {
  LockUse need(state.need_search_mutex, u"run", kNeedSearchLock);
  if (!state.need_search) return false;
  state.need_search = false;
  state.searching = true;
  return true;
}

bool PhotoLibrary::Impl::search_step() {
  FolderSearch search(state, stop);
  SearchSummary summary;
  try {
    summary = search.search();
  } catch (const std::exception& fault) {
    // Memory for the lists of a huge card, above all: the search counts as
    // cut short, and the worker goes on with what was queued.
    log() << u"search failed: " << from_utf8(fault.what()) << u"\n";
    summary = search.summary();
    summary.complete = false;
  }
  if (summary.complete) {
    // A search cut short by the stop request has only part of the list.
    save_folders();
    LockUse progress(state.progress_mutex, u"run", kSearchCompleteLock);
    state.progress.search_finished();
  }
  LockUse need(state.need_search_mutex, u"run", kNeedSearchLock);
  state.searching = false;
  last_search = summary;
  return summary.complete;
}

bool PhotoLibrary::Impl::cache_step() {
  std::optional<ThumbnailQueue::Job> job;
  {
    LockUse map(state.map_mutex, u"create_cache", kMapLock);
    std::u16string current;
    {
      LockUse folder(state.current_folder_mutex, u"create_cache", kCurrentFolderLock);
      current = state.current_folder;
    }
    job = state.queue.next(current, state.building);
    if (!job) return false;
    state.building.insert(job->picture);
  }

  CacheBuildResult result = CacheBuildResult::failed;
  try {
    result = options.builder(job->picture, job->drive, stop);
  } catch (const std::exception& fault) {
    log() << u"create_cache " << job->picture << u" failed: " << from_utf8(fault.what()) << u"\n";
  } catch (...) {
    log() << u"create_cache " << job->picture << u" failed\n";
  }
  if (result == CacheBuildResult::stopped) {
    if (worker.stop_requested()) {
      // The picture stays queued; the program is ending.
      LockUse map(state.map_mutex, u"create_cache", kMapLock);
      state.building.erase(job->picture);
      return true;
    }
    result = CacheBuildResult::failed;  // nobody asked it to stop
  }
  std::optional<FileStamp> stamp;
  if (result != CacheBuildResult::built) stamp = file_stamp(job->picture);

  LockUse map(state.map_mutex, u"create_cache", kMapLock);
  state.building.erase(job->picture);
  const bool counted = state.queue.remove(job->picture);
  if (result != CacheBuildResult::built) state.failed[job->picture] = stamp;
  LockUse progress(state.progress_mutex, u"create_cache", kPictureCompleteLock);
  state.progress.picture_finished(job->picture, counted);
  return true;
}

void PhotoLibrary::Impl::load_folders() {
  std::vector<FolderRecord> records;
  read_folder_list(options.folder_list_path, records);
  LockUse folders(state.folders_mutex, u"load_folders", kFoldersLock);
  state.folders = std::move(records);
}

void PhotoLibrary::Impl::save_folders() {
  if (options.folder_list_path.empty()) return;
  LockUse save(state.save_mutex, u"save_folders", kSaveLock);
  std::vector<FolderRecord> records;
  {
    LockUse folders(state.folders_mutex, u"save_folders", kFoldersLock);
    records = state.folders;
  }
  options.list_writer(options.folder_list_path, records);
}

PhotoLibrary::Options PhotoLibrary::default_options() {
  Options options;
  options.folder_list_path = default_folder_list_path();
  return options;
}

PhotoLibrary::PhotoLibrary(Options options) {
  PhotoLibrary* expected = nullptr;
  if (!s_instance.compare_exchange_strong(expected, this))
    fatal_stop(u"Singleton is already instantiated", u"Singleton::Singleton()");
  m_impl = std::make_unique<Impl>(std::move(options));
  log() << u"ini load start\n";
  m_impl->load_folders();
  log() << u"ini load end\n";
  m_impl->post(LibraryEvent::with(LibraryEvent::folders_changed), u"PhotoLibrary");
  if (m_impl->options.worker == Worker::start) {
    m_impl->worker_started = m_impl->worker.start();
    m_impl->saver_started = m_impl->saver.start();
  }
}

PhotoLibrary::~PhotoLibrary() {
  if (m_impl->saver_started) m_impl->saver.finish();
  if (m_impl->worker_started) {
    m_impl->worker.request_stop();
    {
      LockUse need(m_impl->state.need_search_mutex, u"~PhotoLibrary", kNeedSearchLock);
      m_impl->wake.set();
    }
    m_impl->worker.join();
  }
  m_impl.reset();
  s_instance.store(nullptr);
}

PhotoLibrary* PhotoLibrary::instance() {
  return s_instance.load();
}

void PhotoLibrary::add_listener(LibraryListener* listener) {
  auto& listeners = m_impl->listeners;
  if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
    listeners.push_back(listener);
}

void PhotoLibrary::remove_listener(LibraryListener* listener) {
  std::erase(m_impl->listeners, listener);
}

int PhotoLibrary::poll() {
  std::vector<LibraryEvent> events;
  {
    LockUse progress(m_impl->state.progress_mutex, u"poll", kProgressValueLock);
    events = m_impl->state.progress.take_events();
  }
  // No lock is held here: listeners call back into the library. A listener
  // removed by another one's on_event is not called any more.
  for (const LibraryEvent& event : events) {
    const std::vector<LibraryListener*> listeners = m_impl->listeners;
    for (LibraryListener* listener : listeners) {
      const auto& now = m_impl->listeners;
      if (std::find(now.begin(), now.end(), listener) != now.end()) listener->on_event(event);
    }
  }
  return static_cast<int>(events.size());
}

void PhotoLibrary::post_event(LibraryEvent event) {
  m_impl->post(std::move(event), u"post_event");
}

void PhotoLibrary::need_search() {
  LibraryState& state = m_impl->state;
  LockUse need(state.need_search_mutex, u"need_search", kNeedSearchLock);
  if (!state.need_search) {
    state.need_search = true;
    m_impl->wake.set();
  }
}

PhotoLibrary::AddResult PhotoLibrary::add_picture(std::u16string_view picture,
                                                  std::u16string_view drive) {
  LibraryState& state = m_impl->state;
  if (cache_folder(drive).empty()) return AddResult::failed;
  LockUse map(state.map_mutex, u"add_picture", kMapLock);
  const auto failed = state.failed.find(std::u16string(picture));
  if (failed != state.failed.end()) {
    if (file_stamp(picture) == failed->second) return AddResult::failed;
    state.failed.erase(failed);  // mended or copied again since
  }
  if (!state.queue.add(picture, drive)) return AddResult::already_queued;
  {
    LockUse progress(state.progress_mutex, u"add_picture", kProgressMaxLock);
    state.progress.picture_queued();
    LockUse folder(state.current_folder_mutex, u"add_picture", kCurrentFolderLock);
    state.current_folder = folder_of(picture);
  }
  m_impl->wake.set();
  return AddResult::queued;
}

void PhotoLibrary::withdraw_picture(std::u16string_view picture) {
  LibraryState& state = m_impl->state;
  bool withdrawn = false;
  {
    LockUse map(state.map_mutex, u"withdraw_picture", kMapLock);
    std::u16string current;
    {
      LockUse folder(state.current_folder_mutex, u"withdraw_picture", kCurrentFolderLock);
      current = state.current_folder;
    }
    if (current.empty() || !state.queue.has_entry(current)) return;
    if (folder_of(picture) == current && state.queue.remove(picture)) {
      withdrawn = true;
      LockUse progress(state.progress_mutex, u"withdraw_picture", kProgressMaxLock);
      state.progress.picture_withdrawn();
    } else {
      LibraryEvent event = LibraryEvent::with(LibraryEvent::picture_complete);
      event.picture = std::u16string(picture);
      LockUse progress(state.progress_mutex, u"withdraw_picture", kPictureCompleteLock);
      state.progress.post(std::move(event));
    }
  }
  if (withdrawn) set_current_folder(folder_of(picture));
}

void PhotoLibrary::set_current_folder(std::u16string_view folder) {
  LibraryState& state = m_impl->state;
  LockUse lock(state.current_folder_mutex, u"set_current_folder", kCurrentFolderLock);
  state.current_folder = std::u16string(folder);
}

bool PhotoLibrary::picture_failed(std::u16string_view picture) const {
  LibraryState& state = m_impl->state;
  LockUse map(state.map_mutex, u"picture_failed", kMapLock);
  const auto failed = state.failed.find(std::u16string(picture));
  return failed != state.failed.end() && file_stamp(picture) == failed->second;
}

int PhotoLibrary::get_folders_size() const {
  LibraryState& state = m_impl->state;
  LockUse folders(state.folders_mutex, u"get_folders_size", kFoldersLock);
  return static_cast<int>(state.folders.size());
}

std::optional<FolderRecord> PhotoLibrary::get_folder(int index) const {
  LibraryState& state = m_impl->state;
  LockUse folders(state.folders_mutex, u"get_folder", kFoldersLock);
  log() << static_cast<long long>(state.folders.size()) << u" " << index << u"\n";
  if (index < 0 || static_cast<size_t>(index) >= state.folders.size()) return std::nullopt;
  return state.folders[index];
}

int PhotoLibrary::search_folder_num(std::u16string_view picture) const {
  LibraryState& state = m_impl->state;
  LockUse folders(state.folders_mutex, u"search_folder_num", kFoldersLock);
  for (size_t i = 0; i < state.folders.size(); ++i)
    if (state.folders[i].key_picture == picture) return static_cast<int>(i);
  return -1;
}

std::vector<FolderRecord> PhotoLibrary::folders() const {
  LibraryState& state = m_impl->state;
  LockUse folders(state.folders_mutex, u"folders", kFoldersLock);
  return state.folders;
}

void PhotoLibrary::set_key_picture(std::u16string_view picture, std::u16string_view key_picture) {
  LibraryState& state = m_impl->state;
  {
    LockUse folders(state.folders_mutex, u"set_key_picture", kFoldersLock);
    const int index = find_folder_record(state.folders, folder_of(picture));
    if (index < 0) return;
    FolderRecord& record = state.folders[index];
    record.key_picture = std::u16string(key_picture);
    record.folder = folder_of(key_picture);
  }
  m_impl->request_save();
  m_impl->post(LibraryEvent::with(LibraryEvent::folders_changed), u"set_key_picture");
}

void PhotoLibrary::set_folder_size(std::u16string_view picture, int32_t size) {
  if (size < 0) return;
  LibraryState& state = m_impl->state;
  {
    LockUse folders(state.folders_mutex, u"set_folder_size", kFoldersLock);
    const int index = find_folder_record(state.folders, folder_of(picture));
    if (index < 0) return;
    if (size == 0)
      state.folders.erase(state.folders.begin() + index);
    else
      state.folders[index].size = size;
  }
  m_impl->request_save();
  m_impl->post(LibraryEvent::with(LibraryEvent::folders_changed), u"set_folder_size");
}

PhotoLibrary::Status PhotoLibrary::status() const {
  LibraryState& state = m_impl->state;
  Status status;
  LockUse need(state.need_search_mutex, u"status", kNeedSearchLock);
  status.search_pending = state.need_search;
  status.searching = state.searching;
  LockUse map(state.map_mutex, u"status", kMapLock);
  status.queued = state.queue.picture_count();
  LockUse progress(state.progress_mutex, u"status", kProgressValueLock);
  status.progress_value = state.progress.value();
  status.progress_maximum = state.progress.maximum();
  return status;
}

SearchSummary PhotoLibrary::last_search() const {
  LockUse need(m_impl->state.need_search_mutex, u"last_search", kNeedSearchLock);
  return m_impl->last_search;
}

bool PhotoLibrary::search() {
  if (m_impl->worker_started) return false;
  {
    LockUse need(m_impl->state.need_search_mutex, u"search", kNeedSearchLock);
    m_impl->state.need_search = false;
    m_impl->state.searching = true;
  }
  return m_impl->search_step();
}

bool PhotoLibrary::create_cache() {
  if (m_impl->worker_started || m_impl->worker.stop_requested()) return false;
  return m_impl->cache_step();
}

void PhotoLibrary::request_stop() {
  m_impl->worker.request_stop();
}

}  // namespace lv
