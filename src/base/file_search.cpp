#include "base/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

#include "base/settings.h"
#include "base/text_case.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace lv {

namespace {

// Deeper trees are not walked; it also bounds the open directories.
constexpr int kMaxDepth = 128;

struct Entry {
  std::string name;        // as the file system spells it
  std::u16string display;  // the same in UTF-16
  bool directory = false;
};

class DirectoryHandle {
 public:
  explicit DirectoryHandle(DIR* dir) : m_dir(dir) {}
  ~DirectoryHandle() {
    if (m_dir) ::closedir(m_dir);
  }
  DirectoryHandle(const DirectoryHandle&) = delete;
  DirectoryHandle& operator=(const DirectoryHandle&) = delete;
  DIR* get() const { return m_dir; }

 private:
  DIR* m_dir;
};

// Files are plain files or links to them; folders are folders or links to
// them. Devices, FIFOs and sockets are neither.
bool classify(int dir_fd, const dirent& entry, bool& directory) {
  unsigned char type = entry.d_type;
  struct stat st {};
  if (type == DT_UNKNOWN) {
    if (::fstatat(dir_fd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    type = S_ISDIR(st.st_mode)   ? DT_DIR
           : S_ISREG(st.st_mode) ? DT_REG
           : S_ISLNK(st.st_mode) ? DT_LNK
                                 : DT_UNKNOWN;
  }
  if (type == DT_DIR) {
    directory = true;
    return true;
  }
  if (type == DT_REG) {
    directory = false;
    return true;
  }
  if (type == DT_LNK && ::fstatat(dir_fd, entry.d_name, &st, 0) == 0 &&
      (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
    directory = S_ISDIR(st.st_mode);
    return true;
  }
  return false;
}

std::vector<Entry> read_entries(DIR* dir) {
  std::vector<Entry> entries;
  const int fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    Entry e;
    if (!classify(fd, *entry, e.directory)) continue;
    e.name = entry->d_name;
    e.display = from_utf8(e.name);
    // A name that is not valid UTF-8 could not be opened again by its path
    // (plain ASCII, most names, always is).
    const bool ascii = std::all_of(e.name.begin(), e.name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && to_utf8(e.display) != e.name) continue;
    entries.push_back(std::move(e));
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

std::u16string join(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  if (folder.back() == u'/' || folder.back() == u'\\') return folder + name;
  return folder + u"/" + name;
}

using FolderId = std::pair<dev_t, ino_t>;

std::optional<FolderId> folder_id(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return FolderId{st.st_dev, st.st_ino};
}

std::optional<FolderId> folder_id(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderId{st.st_dev, st.st_ino};
}

// A recursive search leaves out what is never meant as a folder of one's
// own files: hidden folders (browser caches, the volumes' .Trash-UID) and the
// home trash wherever XDG_DATA_HOME puts it.
bool hidden_name(std::string_view name) {
  return !name.empty() && name[0] == '.';
}

struct Search {
  FileVisitor& visitor;
  std::u16string_view file_pattern;
  std::u16string_view folder_pattern;
  Recursion recursion;
  std::optional<FolderId> home_trash;
  // Every real folder entered, so that links to folders are followed but
  // each folder is walked once and a link loop ends.
  std::set<FolderId> visited;

  bool left_out(const Entry& e) const {
    return recursion == Recursion::recursive && hidden_name(e.name);
  }

  // Whether a folder is to be walked: not the trash, not walked before.
  // Marks it walked.
  bool enter(const std::optional<FolderId>& id) {
    return id && !(home_trash && *id == *home_trash) && visited.insert(*id).second;
  }

  // Takes the folder's descriptor; false when the visitor stopped the search.
  bool walk(int fd, const std::u16string& shown, int depth) {
    DirectoryHandle dir(::fdopendir(fd));
    if (!dir.get()) {
      ::close(fd);
      return true;
    }
    const std::vector<Entry> entries = read_entries(dir.get());
    for (const Entry& e : entries) {
      if (!e.directory && match_pattern(file_pattern, e.display) &&
          !visitor.on_file(join(shown, e.display)))
        return false;
    }
    for (const Entry& e : entries) {
      if (!e.directory || left_out(e) || !match_pattern(folder_pattern, e.display)) continue;
      int child_fd = -1;
      if (recursion == Recursion::recursive && depth + 1 < kMaxDepth) {
        // Opened before it is reported: a folder already walked through
        // another link, or the trash, is not reported at all.
        child_fd = ::openat(::dirfd(dir.get()), e.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (child_fd < 0) continue;
        if (!enter(folder_id(child_fd))) {
          ::close(child_fd);
          continue;
        }
      }
      const std::u16string child = join(shown, e.display);
      if (!visitor.on_folder(child)) {
        if (child_fd >= 0) ::close(child_fd);
        return false;
      }
      if (child_fd >= 0 && !walk(child_fd, child, depth + 1)) return false;
    }
    return true;
  }
};

}  // namespace

bool find_files(FileVisitor& visitor, std::u16string_view folder, std::u16string_view file_pattern,
                std::u16string_view folder_pattern, Recursion recursion) {
  const std::string root = folder.empty() ? std::string(".") : to_utf8(expand_path(folder));
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  Search search{visitor, file_pattern, folder_pattern, recursion, std::nullopt, {}};
  if (recursion == Recursion::recursive) {
    const std::string data = platform::data_folder();
    if (!data.empty()) search.home_trash = folder_id(data + "/Trash");
    if (!search.enter(folder_id(fd))) {
      ::close(fd);
      return true;
    }
  }
  search.walk(fd, std::u16string(folder), 0);
  return true;
}

bool match_pattern(std::u16string_view pattern, std::u16string_view name) {
  // "*.*" means every name, with or without a dot, as on the handheld.
  if (pattern == u"*" || pattern == u"*.*") return true;
  size_t p = 0, n = 0;
  size_t star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || fold_case(pattern[p]) == fold_case(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

namespace {

class FolderFileVisitor : public FileVisitor {
 public:
  FolderFileVisitor(size_t limit, const std::function<bool(const std::u16string&)>& accept)
      : m_limit(limit), m_accept(accept) {}
  bool on_file(const std::u16string& path) override {
    if (m_accept && !m_accept(path)) return true;
    files.push_back(path);
    return files.size() < m_limit;
  }
  bool on_folder(const std::u16string&) override { return true; }
  std::vector<std::u16string> files;

 private:
  size_t m_limit;
  const std::function<bool(const std::u16string&)>& m_accept;
};

}  // namespace

std::vector<std::u16string> list_folder_files(
    std::u16string_view folder, std::u16string_view file_pattern, size_t limit,
    const std::function<bool(const std::u16string& path)>& accept) {
  if (limit == 0) return {};
  FolderFileVisitor visitor(limit, accept);
  // No sub-folder is called that, so none is reported.
  find_files(visitor, expand_path(folder), file_pattern, u"do_not_search", Recursion::flat);
  return std::move(visitor.files);
}

bool is_plain_file_name(std::u16string_view name) {
  return !name.empty() && name.find_first_of(u"/\\") == std::u16string_view::npos && name != u"." &&
         name != u"..";
}

std::u16string file_name_without_extension(std::u16string_view path,
                                           std::u16string_view extension) {
  const size_t slash = path.find_last_of(u"/\\");
  std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  if (name.size() >= extension.size() &&
      to_lower(name.substr(name.size() - extension.size())) == to_lower(extension))
    name.remove_suffix(extension.size());
  return std::u16string(name);
}

bool CollectingVisitor::on_file(const std::u16string& path) {
  files.push_back(path);
  return true;
}

bool CollectingVisitor::on_folder(const std::u16string& path) {
  folders.push_back(path);
  return true;
}

}  // namespace lv
