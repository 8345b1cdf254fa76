#include "library/folder_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <future>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/file_search.h"
#include "base/file_util.h"
#include "base/settings.h"
#include "library/cache_file.h"
#include "library/drives.h"
#include "library/library_state.h"
#include "platform/text.h"

namespace lv {

namespace {

constexpr std::u16string_view kSearch = u"search";
constexpr std::u16string_view kCheckDrive = u"check_drive";

// Collects what the file search reports until the stop request comes.
class StoppableVisitor : public CollectingVisitor {
 public:
  explicit StoppableVisitor(const StopRequest& stop) : m_stop(stop) {}
  bool on_file(const std::u16string& path) override {
    return !stopped() && CollectingVisitor::on_file(path);
  }
  bool on_folder(const std::u16string& path) override {
    return !stopped() && CollectingVisitor::on_folder(path);
  }
  bool stopped() const { return m_stop && m_stop(); }

 private:
  const StopRequest& m_stop;
};

// Whether the folder of the path is `folder` (folder_of without a copy).
bool folder_of_is(const std::u16string& path, const std::u16string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path.find_first_of(u"/\\", folder.size()) == std::u16string::npos;
}

// The pictures of one folder of one kind (*.jpg or *.jpeg) as the walk met
// them, and, once named, the names of their cache files.
struct PictureBatch {
  bool jpeg = false;
  size_t first = 0;  // index of the first in the walk's list of its kind
  std::u16string folder;
  std::vector<std::u16string> files;     // names in the folder
  std::vector<std::string> cache_names;  // "" for a picture gone since
};

// Hands the walk's batches to the threads that name their cache files, so
// that naming (a system call per picture) goes on while the walk does.
class BatchQueue {
 public:
  void add(PictureBatch batch) {
    {
      std::lock_guard lock(m_mutex);
      m_batches.push_back(std::move(batch));
    }
    m_more.notify_one();
  }
  void close() {
    {
      std::lock_guard lock(m_mutex);
      m_closed = true;
    }
    m_more.notify_all();
  }
  // The next batch to name; null once the queue is closed and every batch
  // has been handed out.
  PictureBatch* take() {
    std::unique_lock lock(m_mutex);
    m_more.wait(lock, [&] { return m_next < m_batches.size() || m_closed; });
    return m_next < m_batches.size() ? &m_batches[m_next++] : nullptr;
  }
  // Only once every thread that takes batches has finished.
  std::deque<PictureBatch>& batches() { return m_batches; }

 private:
  std::mutex m_mutex;
  std::condition_variable m_more;
  std::deque<PictureBatch> m_batches;  // references stay valid as it grows
  size_t m_next = 0;
  bool m_closed = false;
};

// One walk of the drive for both patterns: every "*.jpg" in walk order,
// and apart from them every "*.jpeg" in walk order, exactly as two walks
// would give them, with half the folder reading. The pictures go out folder
// by folder to be named.
class PictureVisitor : public FileVisitor {
 public:
  PictureVisitor(const StopRequest& stop, BatchQueue& queue) : m_stop(stop), m_queue(queue) {}
  bool on_file(const std::u16string& path) override {
    if (stopped()) return false;
    const size_t slash = path.find_last_of(u"/\\");
    const size_t name_at = slash == std::u16string::npos ? 0 : slash + 1;
    const std::u16string_view file = std::u16string_view(path).substr(name_at);
    const bool jpg = match_pattern(u"*.jpg", file);
    if (!jpg && !match_pattern(u"*.jpeg", file)) return true;
    const std::u16string_view folder = std::u16string_view(path).substr(0, name_at);
    if (folder != m_folder) {
      flush();
      m_folder = folder;
      // The left-out words hold no separator, so the folder and the name
      // can be tested apart: the folder once for all its pictures.
      m_folder_left_out = left_out_of_search(m_folder);
    }
    if (m_folder_left_out || left_out_of_search(file)) return true;
    std::vector<std::u16string>& list = jpg ? jpgs : jpegs;
    PictureBatch& batch = jpg ? m_jpg : m_jpeg;
    if (batch.files.empty()) {
      batch.jpeg = !jpg;
      batch.first = list.size();
      batch.folder = m_folder;
    }
    batch.files.emplace_back(file);
    list.push_back(path);
    return true;
  }
  bool on_folder(const std::u16string&) override { return !stopped(); }
  bool stopped() const { return m_stop && m_stop(); }
  void flush() {
    for (PictureBatch* batch : {&m_jpg, &m_jpeg}) {
      if (!batch->files.empty()) m_queue.add(std::move(*batch));
      *batch = PictureBatch{};
    }
  }

  std::vector<std::u16string> jpgs;
  std::vector<std::u16string> jpegs;

 private:
  const StopRequest& m_stop;
  BatchQueue& m_queue;
  std::u16string m_folder;
  bool m_folder_left_out = false;
  PictureBatch m_jpg;
  PictureBatch m_jpeg;
};

// What the search makes of one picture.
enum class Verdict : uint8_t { gone, cached, to_queue };

// A cache file shorter than the smallest header cannot be valid: the empty
// marker of a failed build, above all. Whether a longer one holds up is
// checked when a screen reads it, which builds it again when it does not.
constexpr uint64_t kMinCacheFileBytes = CacheHeader::size_for(0);

// The drive's cache folder, read once: every entry by name, and whether it
// is a file that may be a cache file.
struct CacheListing {
  std::vector<std::string> names;
  std::vector<bool> usable;
  std::vector<bool> folder;
  std::unordered_map<std::string_view, size_t> index;  // views into names

  void read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      ::close(fd);
      return;
    }
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      struct stat st {};
      if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      names.emplace_back(name);
      usable.push_back(S_ISREG(st.st_mode) &&
                       static_cast<uint64_t>(st.st_size) >= kMinCacheFileBytes);
      folder.push_back(S_ISDIR(st.st_mode));
    }
    ::closedir(dir);
    index.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) index.emplace(names[i], i);
  }
};

// The name a picture's cache file has in its folder (cache_name_in without
// the folder), from the picture's size and creation time; "" when the
// picture is gone or is a folder. The picture is given by its folder's
// descriptor and its name, which spares the system a walk of the whole path
// for every picture.
std::string cache_file_name(int folder_fd, const std::string& name) {
  struct statx st {};
  if (folder_fd < 0 ||
      ::statx(folder_fd, name.c_str(), 0, STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME,
              &st) != 0 ||
      S_ISDIR(st.stx_mode))
    return {};
  const bool has_birth = (st.stx_mask & STATX_BTIME) != 0 && st.stx_btime.tv_sec != 0;
  const time_t created = has_birth ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec;
  std::tm local{};
  localtime_r(&created, &local);
  char text[64];
  char* end = std::to_chars(text, text + sizeof text, st.stx_size).ptr;
  for (const int part :
       {local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec})
    end = std::to_chars(end, text + sizeof text, part).ptr;
  return std::string(text, end);
}

// Names the cache files of the batches as they come, until the queue is
// closed and empty or the search is abandoned. Any number of threads.
void name_batches(BatchQueue& queue, const std::u16string& drive,
                  const std::atomic<bool>& abandon) {
  // Every picture's path starts with the drive's: its macro is expanded
  // once, and the rest only has its separators turned.
  const std::string base = to_utf8(expand_path(drive));
  std::u16string rest;
  while (PictureBatch* batch = queue.take()) {
    if (abandon.load(std::memory_order_relaxed)) continue;
    rest.assign(batch->folder, std::min(drive.size(), batch->folder.size()));
    std::replace(rest.begin(), rest.end(), u'\\', u'/');
    const std::string folder = base + to_utf8(rest);
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    batch->cache_names.reserve(batch->files.size());
    for (const std::u16string& file : batch->files)
      batch->cache_names.push_back(cache_file_name(fd, to_utf8(file)));
    if (fd >= 0) ::close(fd);
  }
}

}  // namespace

bool left_out_of_search(std::u16string_view path) {
  for (std::u16string_view part : {u"Program Files", u"Windows", u"!lumiviewcache"})
    if (path.find(part) != std::u16string_view::npos) return true;
  return false;
}

FolderSearch::FolderSearch(LibraryState& state, StopRequest stop)
    : m_state(state), m_stop(std::move(stop)) {}

SearchSummary FolderSearch::search() {
  m_summary = SearchSummary{};
  StoppableVisitor cards(m_stop);
  find_drives(cards);
  if (cards.stopped()) return m_summary;

  {
    LockUse map(m_state.map_mutex, kSearch, kMapLock);
    m_state.failed.clear();
    LockUse folders(m_state.folders_mutex, kSearch, kFoldersLock);
    m_state.folders.clear();
    LockUse progress(m_state.progress_mutex, kSearch, kProgressMaxLock);
    m_state.progress.start_round(m_state.queue.picture_count());
  }

  std::vector<std::u16string> drives;
  for (const std::u16string& card : cards.folders) drives.push_back(card + u"/");
  drives.emplace_back(kMyDocumentsDrive);
  for (const std::u16string& drive : drives) {
    ++m_summary.drives;
    if (!check_drive(drive)) return m_summary;
  }
  m_summary.complete = true;
  return m_summary;
}

bool FolderSearch::check_drive(const std::u16string& drive) {
  // A drive that names no folder has no cache folder and is not searched:
  // its walk would start wherever the program was started.
  const std::u16string cache_dir = cache_folder(drive);
  if (cache_dir.empty()) return true;

  // Three things go on at once: the walk of the drive (this thread), the
  // reading of the cache folder and then, on the same second thread, the
  // naming of the cache files of the pictures the walk has found so far.
  // This thread helps name the rest once the walk is done.
  CacheListing listing;
  const std::string cache_path = to_utf8(expand_path(cache_dir));
  BatchQueue batches;
  std::atomic<bool> abandon{false};
  std::promise<bool> listed;  // whether the pictures need naming
  std::thread helper;
  try {
    helper = std::thread([&] {
      listing.read(cache_path);
      const bool naming = !listing.names.empty();
      listed.set_value(naming);
      if (naming) name_batches(batches, drive, abandon);
    });
  } catch (const std::system_error&) {
    listing.read(cache_path);
    listed.set_value(!listing.names.empty());
  }
  // Should the walk throw (memory for a huge card), the helper is let go.
  struct HelperEnd {
    std::thread& thread;
    BatchQueue& batches;
    std::atomic<bool>& abandon;
    ~HelperEnd() {
      if (!thread.joinable()) return;
      abandon = true;
      batches.close();
      thread.join();
    }
  } helper_end{helper, batches, abandon};
  PictureVisitor walk(m_stop, batches);
  find_files(walk, drive, u"*", u"*", Recursion::recursive);
  if (walk.stopped()) abandon = true;
  walk.flush();
  batches.close();
  // With no file in the cache folder no picture can have a cache file, and
  // none needs to be looked at one by one.
  const bool naming = listed.get_future().get();
  if (naming) name_batches(batches, drive, abandon);
  if (helper.joinable()) helper.join();
  if (abandon) return false;

  std::vector<bool> kept(listing.names.size(), false);
  std::vector<std::u16string> pictures = std::move(walk.jpgs);
  const size_t jpg_count = pictures.size();
  pictures.insert(pictures.end(), std::make_move_iterator(walk.jpegs.begin()),
                  std::make_move_iterator(walk.jpegs.end()));
  std::vector<Verdict> verdicts(pictures.size(), Verdict::to_queue);
  std::vector<size_t> entries(pictures.size(), 0);
  if (naming) {
    for (const PictureBatch& batch : batches.batches()) {
      const size_t first = batch.first + (batch.jpeg ? jpg_count : 0);
      for (size_t i = 0; i < batch.cache_names.size(); ++i) {
        const std::string& name = batch.cache_names[i];
        // Gone since the walk: neither counted nor queued.
        if (name.empty()) {
          verdicts[first + i] = Verdict::gone;
          continue;
        }
        const auto found = listing.index.find(name);
        if (found != listing.index.end() && listing.usable[found->second]) {
          verdicts[first + i] = Verdict::cached;
          entries[first + i] = found->second;
        }
      }
    }
  }

  // The pictures of a folder come one after the other (its *.jpeg ones a
  // second time). The runs are gathered first; then the queue and the
  // folder list take them, each under its lock once for the drive, for a
  // few string operations per folder.
  struct Run {
    std::u16string folder;
    const std::u16string* key = nullptr;
    int count = 0;
    std::vector<const std::u16string*> to_queue;
  };
  std::vector<Run> runs;
  for (size_t begin = 0, end; begin < pictures.size(); begin = end) {
    if (stopped()) return false;
    Run run;
    run.folder = folder_of(pictures[begin]);
    for (end = begin; end < pictures.size() && folder_of_is(pictures[end], run.folder); ++end) {
      if (verdicts[end] == Verdict::gone) continue;
      ++run.count;
      if (!run.key) run.key = &pictures[end];
      if (verdicts[end] == Verdict::cached) {
        kept[entries[end]] = true;
        ++m_summary.cached;
      } else {
        run.to_queue.push_back(&pictures[end]);
      }
    }
    if (run.count > 0) runs.push_back(std::move(run));
  }
  int queued = 0;
  for (const Run& run : runs) queued += static_cast<int>(run.to_queue.size());
  if (queued > 0) {
    LockUse map(m_state.map_mutex, kCheckDrive, kMapLock);
    int added = 0;
    for (const Run& run : runs)
      if (!run.to_queue.empty()) added += m_state.queue.add_all(run.folder, drive, run.to_queue);
    m_summary.queued += added;
    LockUse progress(m_state.progress_mutex, kCheckDrive, kProgressMaxLock);
    m_state.progress.pictures_queued(added);
  }
  if (!runs.empty()) {
    // Only this drive's check makes records for its folders (the search
    // emptied the list), so a folder met for the first time has none. One
    // met again for its *.jpeg pictures finds its record where it was put.
    std::unordered_map<std::u16string_view, size_t> made_here;
    LockUse folders(m_state.folders_mutex, kCheckDrive, kFoldersLock);
    for (const Run& run : runs) {
      const auto made = made_here.find(run.folder);
      if (made == made_here.end()) {
        m_state.folders.push_back(FolderRecord{drive, run.folder, *run.key, run.count});
        made_here.emplace(run.folder, m_state.folders.size() - 1);
      } else {
        m_state.folders[made->second].size += run.count;
      }
      m_summary.pictures += run.count;
    }
  }

  // Stale, empty and cut-short files go, and whatever else lies there; a
  // folder only when it is empty.
  for (size_t i = 0; i < listing.names.size(); ++i) {
    if (kept[i]) continue;
    const std::string path = cache_path + "/" + listing.names[i];
    const bool gone = listing.folder[i] ? ::rmdir(path.c_str()) == 0 : ::unlink(path.c_str()) == 0;
    if (gone) ++m_summary.deleted;
  }

  LockUse folders(m_state.folders_mutex, kCheckDrive, kFoldersLock);
  std::erase_if(m_state.folders, [](const FolderRecord& r) { return r.size == 0; });
  return true;
}

}  // namespace lv
