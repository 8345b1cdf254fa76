#include "platform/settings_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace lv::platform {

namespace {

// A settings file this large is not ours; it is read only this far, and never
// rewritten, so whatever lies beyond is not cut off.
constexpr size_t kMaxFileSize = 4u << 20;

enum class Kind { string, number, other, comment };

struct Entry {
  Kind kind = Kind::string;
  std::u16string name;  // comment: unused
  std::u16string text;  // string: the value; other: the raw text after '='; comment: the line
  uint32_t number = 0;
};

struct Section {
  std::u16string key;
  std::vector<Entry> entries;
};

struct Store {
  std::vector<std::u16string> preamble;  // comment lines before the first section
  std::vector<Section> sections;
};

char16_t fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool equal_nocase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// "A\\\\B\\" and "A\\B" name the same key, as in the registry.
std::u16string canonical_key(std::u16string_view key) {
  std::u16string out;
  size_t i = 0;
  while (i < key.size()) {
    size_t end = key.find(u'\\', i);
    if (end == std::u16string_view::npos) end = key.size();
    if (end > i) {
      if (!out.empty()) out.push_back(u'\\');
      out.append(key.substr(i, end - i));
    }
    i = end + 1;
  }
  return out;
}

bool has_line_break_or_nul(std::u16string_view text) {
  return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}

Section* find_section(Store& store, std::u16string_view key) {
  for (Section& s : store.sections)
    if (equal_nocase(s.key, key)) return &s;
  return nullptr;
}

Entry* find_entry(Section& section, std::u16string_view name) {
  for (Entry& e : section.entries)
    if (e.kind != Kind::comment && equal_nocase(e.name, name)) return &e;
  return nullptr;
}

// ---- Reading ---------------------------------------------------------------

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (is_blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

// A quoted token at the start of `s`; on success `s` is left after the
// closing quote.
bool parse_quoted(std::string_view& s, std::string& out) {
  if (s.empty() || s[0] != '"') return false;
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\' && i + 1 < s.size()) {
      const char next = s[++i];
      switch (next) {
        case '\\':
          out.push_back('\\');
          break;
        case '"':
          out.push_back('"');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        default:  // not an escape: kept as written
          out.push_back('\\');
          out.push_back(next);
      }
      continue;
    }
    out.push_back(c);
  }
  return false;
}

bool parse_dword(std::string_view s, uint32_t& out) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t value = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  out = value;
  return true;
}

// "hex:...", "hex(7):...", "qword:..." and the like, or "-" (delete, when
// the file is imported into a registry).
bool is_other_kind(std::string_view s) {
  if (s == "-") return true;
  size_t i = 0;
  while (i < s.size() && ((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z'))) ++i;
  if (i == 0) return false;
  if (i < s.size() && s[i] == '(') {
    const size_t digits = ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == digits || i >= s.size() || s[i] != ')') return false;
    ++i;
  }
  return i < s.size() && s[i] == ':';
}

class Parser {
 public:
  explicit Parser(std::string_view data) : m_data(data) {}

  Store parse() {
    if (m_data.starts_with("\xEF\xBB\xBF")) m_data.remove_prefix(3);
    std::string_view line;
    while (next_line(line)) parse_line(trim(line));
    return std::move(m_store);
  }

 private:
  bool next_line(std::string_view& line) {
    if (m_pos >= m_data.size()) return false;
    size_t end = m_data.find('\n', m_pos);
    if (end == std::string_view::npos) end = m_data.size();
    line = m_data.substr(m_pos, end - m_pos);
    m_pos = end + 1;
    return true;
  }

  void parse_line(std::string_view line) {
    if (line.empty() || line == "REGEDIT4" || line.starts_with("Windows Registry Editor")) return;
    if (line[0] == ';') {
      std::u16string text = from_utf8(line);
      if (m_section)
        m_section->entries.push_back({Kind::comment, {}, std::move(text), 0});
      else if (m_store.sections.empty())
        m_store.preamble.push_back(std::move(text));
      return;
    }
    if (line[0] == '[') {
      parse_section(line);
      return;
    }
    if (m_section && (line[0] == '"' || line[0] == '@')) parse_value(line);
  }

  void parse_section(std::string_view line) {
    m_section = nullptr;
    if (line.back() != ']') return;  // a cut-off header: its values have no home
    std::u16string key = canonical_key(from_utf8(line.substr(1, line.size() - 2)));
    if (key.empty()) return;
    m_section = find_section(m_store, key);
    if (!m_section) {
      m_store.sections.push_back({std::move(key), {}});
      m_section = &m_store.sections.back();
    }
  }

  void parse_value(std::string_view line) {
    std::string name;
    if (line[0] == '@') {
      line.remove_prefix(1);
    } else if (!parse_quoted(line, name)) {
      return;
    }
    line = trim(line);
    if (line.empty() || line[0] != '=') return;
    line = trim(line.substr(1));

    Entry entry;
    entry.name = from_utf8(name);
    if (!line.empty() && line[0] == '"') {
      std::string text;
      if (!parse_quoted(line, text) || !trim(line).empty()) return;
      entry.kind = Kind::string;
      entry.text = from_utf8(text);
    } else if (starts_with_nocase(line, "dword:")) {
      if (!parse_dword(line.substr(6), entry.number)) return;
      entry.kind = Kind::number;
    } else if (is_other_kind(line)) {
      // A kind this program does not use: kept as written, so a rewrite does
      // not lose it. Only hex data continues over several lines.
      std::string raw(line);
      std::string_view more;
      const bool hex = starts_with_nocase(line, "hex");
      while (hex && raw.back() == '\\' && next_line(more)) {
        raw.push_back('\n');
        raw.append(trim(more));
      }
      entry.kind = Kind::other;
      entry.text = from_utf8(raw);
    } else {
      return;
    }
    store_entry(std::move(entry));
  }

  // A later line for the same name wins, as when the file is imported.
  void store_entry(Entry entry) {
    if (Entry* existing = find_entry(*m_section, entry.name)) {
      entry.name = std::move(existing->name);
      *existing = std::move(entry);
    } else {
      m_section->entries.push_back(std::move(entry));
    }
  }

  std::string_view m_data;
  size_t m_pos = 0;
  Store m_store;
  Section* m_section = nullptr;  // stable: sections are only added while it is null or reset
};

// ---- Writing ---------------------------------------------------------------

void append_quoted(std::string& out, std::u16string_view text) {
  out.push_back('"');
  for (char c : to_utf8(text)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out.push_back(c);
    }
  }
  out.push_back('"');
}

std::string serialize(const Store& store) {
  std::string out = "REGEDIT4\n\n";
  for (const std::u16string& line : store.preamble) out += to_utf8(line) + "\n";
  if (!store.preamble.empty()) out += "\n";
  for (const Section& section : store.sections) {
    out += "[" + to_utf8(section.key) + "]\n";
    for (const Entry& e : section.entries) {
      if (e.kind == Kind::comment) {
        out += to_utf8(e.text);
      } else {
        if (e.name.empty())
          out.push_back('@');
        else
          append_quoted(out, e.name);
        out.push_back('=');
        if (e.kind == Kind::string) {
          append_quoted(out, e.text);
        } else if (e.kind == Kind::number) {
          char digits[16];
          std::snprintf(digits, sizeof digits, "dword:%08x", e.number);
          out += digits;
        } else {
          out += to_utf8(e.text);
        }
      }
      out.push_back('\n');
    }
    out.push_back('\n');
  }
  return out;
}

// ---- File system -----------------------------------------------------------

struct Identity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtime_sec = 0;
  long mtime_nsec = 0;

  static Identity of(const struct stat& st) {
    return {true,
            st.st_dev,
            st.st_ino,
            st.st_size,
            static_cast<long long>(st.st_mtim.tv_sec),
            st.st_mtim.tv_nsec};
  }
  bool operator==(const Identity&) const = default;
};

bool make_folders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !make_folders(folder.substr(0, slash)))
    return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string folder_part(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Writers of the same file, in this process or another, take turns from the
// re-read to the rename, so none of them drops a value another just wrote.
// The lock is on the folder, so that no lock file lies beside the settings.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    // A file system without locks still gets its settings written.
    if (m_fd >= 0)
      while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);  // also releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool opened() const { return m_fd >= 0; }

 private:
  int m_fd;
};

}  // namespace

struct SettingsFile::Impl {
  std::string path;
  std::mutex mutex;
  Store store;
  Identity identity;
  bool loaded = false;
  // The file exists but could not be read (it is tried again on every
  // lookup), or was too large to read whole. Either way values may be missing
  // from `store`, so writing it back would lose them.
  bool read_failed = false;
  bool too_large = false;

  void refresh();
  bool read_file();
  bool write(const std::string& target, const Store& next, Identity& written);
  template <typename Change>
  bool update(std::u16string_view key, std::u16string_view name, Change change);
  Entry* lookup(std::u16string_view key, std::u16string_view name);
};

void SettingsFile::Impl::refresh() {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    // Only a file that is really absent reads as empty; one we may not look
    // at must not be replaced by an empty one.
    const bool absent = errno == ENOENT || errno == ENOTDIR;
    if (!loaded || identity.exists || read_failed == absent) {
      store = {};
      identity = {};
      read_failed = !absent;
      too_large = false;
      loaded = true;
    }
    return;
  }
  if (loaded && !read_failed && identity == Identity::of(st)) return;
  read_failed = !read_file();
  if (read_failed) {
    store = {};
    identity = {};
    too_large = false;
  }
  loaded = true;
}

bool SettingsFile::Impl::read_file() {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string data;
  const size_t wanted = std::min<size_t>(static_cast<size_t>(st.st_size), kMaxFileSize);
  data.resize(wanted);
  size_t done = 0;
  bool ok = true;
  while (done < wanted) {
    const ssize_t n = ::read(fd, data.data() + done, wanted - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;  // shrank while we read: take what is there
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok) return false;
  data.resize(done);
  store = Parser(data).parse();
  identity = Identity::of(st);
  too_large = static_cast<size_t>(st.st_size) > kMaxFileSize;
  return true;
}

bool SettingsFile::Impl::write(const std::string& target, const Store& next, Identity& written) {
  struct stat st {};
  if (!write_file_atomically(target, serialize(next), Durability::synced, &st)) return false;
  written = Identity::of(st);
  return true;
}

Entry* SettingsFile::Impl::lookup(std::u16string_view key, std::u16string_view name) {
  refresh();
  Section* section = find_section(store, canonical_key(key));
  return section ? find_entry(*section, name) : nullptr;
}

template <typename Change>
bool SettingsFile::Impl::update(std::u16string_view key, std::u16string_view name, Change change) {
  const std::u16string canonical = canonical_key(key);
  if (canonical.empty() || has_line_break_or_nul(canonical) ||
      name.find(u'\0') != std::u16string_view::npos)
    return false;
  std::lock_guard lock(mutex);
  // A settings file kept as a symlink (a dotfiles checkout) stays one.
  const std::string target = replaced_path(path);
  const std::string folder = folder_part(target);
  if (!make_folders(folder)) return false;
  FolderLock folder_lock(folder);
  if (!folder_lock.opened()) return false;
  // Two replacements within one tick of the file system's clock can leave
  // size, time and a recycled inode number alike, so a write does not trust
  // the identity check: it reads the file again.
  loaded = false;
  refresh();
  if (read_failed || too_large) return false;

  Store next = store;
  Section* section = find_section(next, canonical);
  if (!section) {
    next.sections.push_back({canonical, {}});
    section = &next.sections.back();
  }
  Entry* entry = find_entry(*section, name);
  if (!entry) {
    section->entries.push_back({Kind::string, std::u16string(name), {}, 0});
    entry = &section->entries.back();
  }
  change(*entry);

  Identity written;
  if (!write(target, next, written)) return false;
  store = std::move(next);
  identity = written;
  return true;
}

SettingsFile::SettingsFile(std::string path) : m_impl(std::make_unique<Impl>()) {
  m_impl->path = std::move(path);
}

SettingsFile::~SettingsFile() = default;

const std::string& SettingsFile::path() const {
  return m_impl->path;
}

bool SettingsFile::get_string(std::u16string_view key, std::u16string_view name,
                              std::u16string& out) {
  std::lock_guard lock(m_impl->mutex);
  const Entry* entry = m_impl->lookup(key, name);
  if (!entry || entry->kind != Kind::string) return false;
  out = entry->text;
  return true;
}

bool SettingsFile::get_number(std::u16string_view key, std::u16string_view name, uint32_t& out) {
  std::lock_guard lock(m_impl->mutex);
  const Entry* entry = m_impl->lookup(key, name);
  if (!entry || entry->kind != Kind::number) return false;
  out = entry->number;
  return true;
}

bool SettingsFile::set_string(std::u16string_view key, std::u16string_view name,
                              std::u16string_view text) {
  const std::u16string stored(text.substr(0, text.find(u'\0')));
  return m_impl->update(key, name, [&](Entry& e) {
    e.kind = Kind::string;
    e.text = stored;
    e.number = 0;
  });
}

bool SettingsFile::set_number(std::u16string_view key, std::u16string_view name, uint32_t value) {
  return m_impl->update(key, name, [&](Entry& e) {
    e.kind = Kind::number;
    e.text.clear();
    e.number = value;
  });
}

SettingsFile& settings_file() {
  // Never destroyed: the logger may consult it from threads that outlive
  // static destruction.
  static SettingsFile* instance = new SettingsFile(settings_file_path());
  return *instance;
}

}  // namespace lv::platform
