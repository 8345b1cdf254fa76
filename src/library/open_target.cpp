#include "library/open_target.h"

#include <filesystem>
#include <system_error>

#include "base/file_util.h"
#include "base/settings.h"
#include "library/drives.h"
#include "platform/text.h"

namespace lv {

namespace {

namespace fs = std::filesystem;

// The path without "." segments, doubled or trailing separators, and with
// ".." taken by name; where a ".." after a link would lead elsewhere by
// name than the system's walk of the links does, the walk decides.
std::string tidy(const std::string& path) {
  const fs::path given(path);
  fs::path normal = given.lexically_normal();
  std::error_code error;
  if (normal.string() != path && fs::exists(given, error) &&
      !fs::equivalent(normal, given, error)) {
    fs::path walked = fs::weakly_canonical(given, error);
    if (!error) normal = std::move(walked);
  }
  std::string text = normal.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

std::u16string with_separator(std::u16string folder) {
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder;
}

// The folder list's record of the folder (given tidied, without its
// trailing separator), or one made for it.
FolderRecord record_of(const std::string& folder, const std::vector<FolderRecord>& known) {
  for (const FolderRecord& record : known)
    if (tidy(to_utf8(expand_path(record.folder))) == folder) return record;
  FolderRecord made;
  made.folder = with_separator(from_utf8(folder));
  made.drive = drive_of(made.folder);
  return made;
}

bool starts_as_jpeg(std::u16string_view path, bool& readable) {
  FileStream file(path, OpenMode::read);
  unsigned char start[3] = {0, 0, 0};
  readable = file.is_open();
  if (!readable) return false;
  const long long got = file.read(start, sizeof start);
  readable = got >= 0;
  return got == 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF;
}

}  // namespace

OpenTarget find_open_target(std::u16string_view path, const std::vector<FolderRecord>& known) {
  OpenTarget target;
  target.path = std::u16string(path);
  const std::string given = to_utf8(path);
  if (given.empty() || given.front() != '/' || given.find('\0') != std::string::npos) return target;
  const std::string full = tidy(given);
  target.path = from_utf8(full);

  std::error_code error;
  const fs::file_status status = fs::status(full, error);
  if (error || !fs::exists(status)) return target;
  if (fs::is_directory(status)) {
    target.kind = OpenTarget::Kind::folder;
    target.record = record_of(full, known);
    target.path = target.record.folder;
    return target;
  }
  bool readable = false;
  if (!fs::is_regular_file(status) || !starts_as_jpeg(target.path, readable)) {
    target.kind = readable || !fs::is_regular_file(status) ? OpenTarget::Kind::not_picture
                                                           : OpenTarget::Kind::unreadable;
    return target;
  }
  const size_t slash = full.rfind('/');
  target.kind = OpenTarget::Kind::picture;
  target.record = record_of(slash == 0 ? std::string("/") : full.substr(0, slash), known);
  target.path = target.record.folder + from_utf8(full.substr(slash + 1));
  return target;
}

}  // namespace lv
