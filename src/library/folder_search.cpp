#include "library/folder_search.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/base/file_search.h"
#include "app/base/file_util.h"
#include "app/base/settings.h"
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

// One walk of the drive for both patterns: every "*.jpg" in walk order,
// and apart from them every "*.jpeg" in walk order, exactly as two walks
// would give them, with half the folder reading.
class PictureVisitor : public FileVisitor {
 public:
  explicit PictureVisitor(const StopRequest& stop) : m_stop(stop) {}
  bool on_file(const std::u16string& path) override {
    if (stopped()) return false;
    const size_t slash = path.find_last_of(u"/\\");
    const std::u16string_view file = slash == std::u16string::npos
                                         ? std::u16string_view(path)
                                         : std::u16string_view(path).substr(slash + 1);
    const bool jpg = match_pattern(u"*.jpg", file);
    if ((jpg || match_pattern(u"*.jpeg", file)) && !left_out_of_search(path))
      (jpg ? jpgs : jpegs).push_back(path);
    return true;
  }
  bool on_folder(const std::u16string&) override { return !stopped(); }
  bool stopped() const { return m_stop && m_stop(); }

  std::vector<std::u16string> jpgs;
  std::vector<std::u16string> jpegs;

 private:
  const StopRequest& m_stop;
};

// What the search makes of one picture.
enum class Verdict : uint8_t { gone, cached, to_queue };

// A cache file is valid when its header holds up against the file (the
// checks of cache_file_valid), read with one call.
bool valid_cache_file(const std::u16string& name) {
  const int fd = ::open(to_utf8(expand_path(name)).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  uint8_t header[CacheHeader::size_for(kMaxCacheLevels)];
  struct stat st {};
  const ssize_t got = ::pread(fd, header, sizeof header, 0);
  const bool ok = got > 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  CacheHeader parsed;
  return ok && parse_cache_header(header, static_cast<size_t>(got),
                                  static_cast<uint64_t>(st.st_size), parsed);
}

// Looks at every picture (its size and creation time name its cache file)
// and reads the header of every cache file that is there. That is a few
// system calls per picture, so a large card is shared out among a few
// threads; only the calling thread asks the stop request, and the others
// follow it through `abandon`.
bool judge_pictures(const std::vector<std::u16string>& pictures, const std::u16string& cache_dir,
                    const std::unordered_map<std::u16string, size_t>& listed,
                    const StopRequest& stop, std::vector<Verdict>& verdicts,
                    std::vector<size_t>& entries) {
  constexpr size_t kChunk = 64;
  constexpr size_t kPicturesPerThread = 1024;
  verdicts.assign(pictures.size(), Verdict::to_queue);
  entries.assign(pictures.size(), 0);
  std::atomic<size_t> next{0};
  std::atomic<bool> abandon{false};
  auto work = [&](bool asks_stop) {
    for (;;) {
      if (abandon.load(std::memory_order_relaxed)) return;
      if (asks_stop && stop && stop()) {
        abandon = true;
        return;
      }
      const size_t begin = next.fetch_add(kChunk);
      if (begin >= pictures.size()) return;
      const size_t end = std::min(pictures.size(), begin + kChunk);
      for (size_t i = begin; i < end; ++i) {
        const FileInfo info = file_info(pictures[i]);
        // Gone since the walk: neither counted nor queued.
        if (!info.exists() || info.is_directory()) {
          verdicts[i] = Verdict::gone;
          continue;
        }
        const auto found = listed.find(cache_name_in(cache_dir, info.size, info.creation));
        if (found != listed.end() && valid_cache_file(found->first)) {
          verdicts[i] = Verdict::cached;
          entries[i] = found->second;
        }
      }
    }
  };
  const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  const size_t helpers = std::min<size_t>(cores - 1, pictures.size() / kPicturesPerThread);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < helpers; ++i) {
    try {
      threads.emplace_back(work, false);
    } catch (const std::system_error&) {
      break;  // fewer helpers, same result
    }
  }
  work(true);
  for (std::thread& thread : threads) thread.join();
  return !abandon;
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
  // The cache folder first: when it holds no file, no picture can have a
  // valid cache file, and the pictures need not be looked at one by one.
  const std::u16string cache_dir = cache_folder(drive);
  StoppableVisitor listing(m_stop);
  find_files(listing, cache_dir, u"*", u"*", Recursion::flat);
  if (listing.stopped()) return false;
  std::unordered_map<std::u16string, size_t> listed;
  listed.reserve(listing.files.size());
  for (size_t i = 0; i < listing.files.size(); ++i) listed.emplace(listing.files[i], i);
  std::vector<bool> kept(listing.files.size(), false);

  PictureVisitor walk(m_stop);
  find_files(walk, drive, u"*", u"*", Recursion::recursive);
  if (walk.stopped()) return false;
  std::vector<std::u16string> pictures = std::move(walk.jpgs);
  pictures.insert(pictures.end(), std::make_move_iterator(walk.jpegs.begin()),
                  std::make_move_iterator(walk.jpegs.end()));

  // With no file in the cache folder no picture can have a valid cache
  // file, and none needs to be looked at one by one.
  std::vector<Verdict> verdicts(pictures.size(), Verdict::to_queue);
  std::vector<size_t> entries;
  if (!listed.empty() && !judge_pictures(pictures, cache_dir, listed, m_stop, verdicts, entries))
    return false;

  // The pictures of a folder come one after the other (its *.jpeg ones a
  // second time), so the locks are taken once per such run, for a few
  // string operations.
  std::unordered_map<std::u16string, int> made_here;
  std::vector<const std::u16string*> to_queue;
  for (size_t begin = 0, end; begin < pictures.size(); begin = end) {
    if (stopped()) return false;
    const std::u16string folder = folder_of(pictures[begin]);
    to_queue.clear();
    int count = 0;
    for (end = begin; end < pictures.size() && folder_of_is(pictures[end], folder); ++end) {
      if (verdicts[end] == Verdict::gone) continue;
      ++count;
      if (verdicts[end] == Verdict::cached) {
        kept[entries[end]] = true;
        ++m_summary.cached;
      } else {
        to_queue.push_back(&pictures[end]);
      }
    }
    if (count == 0) continue;
    if (!to_queue.empty()) {
      LockUse map(m_state.map_mutex, kCheckDrive, kMapLock);
      const int added = m_state.queue.add_all(folder, drive, to_queue);
      m_summary.queued += added;
      LockUse progress(m_state.progress_mutex, kCheckDrive, kProgressMaxLock);
      m_state.progress.pictures_queued(added);
    }
    const std::u16string* key = nullptr;
    for (size_t i = begin; i < end && !key; ++i)
      if (verdicts[i] != Verdict::gone) key = &pictures[i];
    // Only this drive's check makes records for its folders (the search
    // emptied the list), so a folder met for the first time has none. One
    // met again for its *.jpeg pictures finds its record where it was put,
    // unless a screen has removed records since.
    const auto made = made_here.find(folder);
    LockUse folders(m_state.folders_mutex, kCheckDrive, kFoldersLock);
    const int index =
        made == made_here.end() ? -1 : find_folder_record(m_state.folders, folder, made->second);
    if (index < 0) {
      m_state.folders.push_back(FolderRecord{drive, folder, *key, count});
      made_here[folder] = static_cast<int>(m_state.folders.size()) - 1;
    } else {
      m_state.folders[index].size += count;
    }
    m_summary.pictures += count;
  }

  for (size_t i = 0; i < listing.files.size(); ++i)
    if (!kept[i] && delete_file(listing.files[i])) ++m_summary.deleted;
  for (const std::u16string& folder : listing.folders)
    if (delete_file(folder)) ++m_summary.deleted;

  LockUse folders(m_state.folders_mutex, kCheckDrive, kFoldersLock);
  std::erase_if(m_state.folders, [](const FolderRecord& r) { return r.size == 0; });
  return true;
}

}  // namespace lv
