#include "library/cache_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "base/file_util.h"
#include "base/log.h"
#include "base/settings.h"
#include "library/cache_file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace lv {

namespace {

// Names longer than this keep their end and get a hash of the whole path,
// well inside the 255 bytes a file name may have.
constexpr size_t kMaxEscapedName = 160;

std::string escape_drive(const std::string& path) {
  std::string name;
  for (char c : path) {
    if (c == '%')
      name += "%25";
    else if (c == '/')
      name += "%2F";
    else
      name += c;
  }
  if (name.size() <= kMaxEscapedName) return name;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(digits) + "-" + name.substr(name.size() - (kMaxEscapedName - 17));
}

// The expanded drive path without its trailing separators ("/" stays).
std::string drive_root(std::u16string_view drive) {
  std::string root = to_utf8(expand_path(drive));
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool is_folder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writable_folder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::u16string card_cache_folder(std::u16string_view drive) {
  std::u16string folder(drive);
  if (!folder.empty() && folder.back() != u'/' && folder.back() != u'\\') folder += u'/';
  folder += kCacheFolderName;
  return folder;
}

std::u16string fallback_cache_folder(std::u16string_view drive) {
  const std::string base = platform::cache_folder();
  if (base.empty()) return {};
  return from_utf8(base + "/lumiview/" + escape_drive(drive_root(drive)) + "/") + kCacheFolderName;
}

std::u16string drive_cache_folder(std::u16string_view drive) {
  const std::string root = drive_root(drive);
  if (root.empty() || root[0] != '/') return {};
  std::u16string own = card_cache_folder(drive);
  const std::string own_path = to_utf8(expand_path(own));
  struct stat st {};
  if (::stat(own_path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) && ::access(own_path.c_str(), W_OK | X_OK) == 0) return own;
  } else {
    const int error = errno;
    if (error != ENOENT || ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return own;
    if (writable_folder(root)) return own;
  }
  std::u16string fallback = fallback_cache_folder(drive);
  return fallback.empty() ? own : fallback;
}

bool make_cache_folder(std::u16string_view drive) {
  const std::u16string folder = drive_cache_folder(drive);
  if (folder.empty()) return false;
  const std::string path = to_utf8(expand_path(folder));
  if (is_folder(path)) return true;
  if (!is_folder(drive_root(drive))) return false;
  if (folder != card_cache_folder(drive)) {
    create_directory(folder);
    return is_folder(path);
  }
  const bool made = ::mkdir(path.c_str(), 0777) == 0;
  const bool there = made || (errno == EEXIST && is_folder(path));
  log() << u"CreateDirectoryW {" << folder << u"} result=" << (made ? 1 : 0) << u"\n";
  return there;
}

}  // namespace lv
