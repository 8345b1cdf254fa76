#include "app/base/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "app/base/settings.h"
#include "app/base/text_case.h"
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

// Files are plain files or links to them; folders are real folders only, so
// a link to a folder (or a link loop) is never entered. Devices, FIFOs and
// sockets are neither.
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
  if (type == DT_LNK && ::fstatat(dir_fd, entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
    directory = false;
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
    // A name that is not valid UTF-8 could not be opened again by its path.
    if (to_utf8(e.display) != e.name) continue;
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

struct Search {
  FileVisitor& visitor;
  std::u16string_view file_pattern;
  std::u16string_view folder_pattern;
  Recursion recursion;

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
      if (!e.directory || !match_pattern(folder_pattern, e.display)) continue;
      const std::u16string child = join(shown, e.display);
      if (!visitor.on_folder(child)) return false;
      if (recursion != Recursion::recursive || depth + 1 >= kMaxDepth) continue;
      const int child_fd = ::openat(::dirfd(dir.get()), e.name.c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
  Search search{visitor, file_pattern, folder_pattern, recursion};
  search.walk(fd, std::u16string(folder), 0);
  return true;
}

bool match_pattern(std::u16string_view pattern, std::u16string_view name) {
  // "*.*" means every name, with or without a dot, as on the handheld.
  if (pattern == u"*.*") pattern = u"*";
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

bool CollectingVisitor::on_file(const std::u16string& path) {
  files.push_back(path);
  return true;
}

bool CollectingVisitor::on_folder(const std::u16string& path) {
  folders.push_back(path);
  return true;
}

}  // namespace lv
