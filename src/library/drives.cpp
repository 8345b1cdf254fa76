#include "library/drives.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/file_search.h"
#include "base/file_util.h"
#include "base/log.h"
#include "base/settings.h"
#include "library/folder_record.h"
#include "platform/text.h"

namespace lv {

namespace {

namespace fs = std::filesystem;

// An absolute, lexically normal path without a trailing separator, links
// resolved as far as the path exists.
std::string normalised(std::u16string_view path) {
  std::error_code error;
  fs::path p(to_utf8(expand_path(path)));
  fs::path full = fs::weakly_canonical(fs::absolute(p, error), error);
  if (error) full = fs::absolute(p, error).lexically_normal();
  std::string text = full.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool leads(const std::string& prefix, const std::string& path) {
  if (prefix == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, prefix.size(), prefix) == 0 &&
         (path.size() == prefix.size() || path[prefix.size()] == '/');
}

std::string decode_octal_escapes(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::u16string without_trailing_separators(std::u16string path) {
  while (path.size() > 1 && (path.back() == u'/' || path.back() == u'\\')) path.pop_back();
  return path;
}

// Read to the very end: the kernel hands the table out a page per read.
std::string read_mount_table() {
  std::string text;
  FileStream file(u"/proc/self/mounts", OpenMode::read);
  char chunk[4096];
  long long n = 0;
  while (file.is_open() && (n = file.read(chunk, sizeof chunk)) > 0 && text.size() < (16u << 20))
    text.append(chunk, static_cast<size_t>(n));
  return text;
}

// Every mount point of the table, in the order listed, escapes decoded.
std::vector<std::string> mount_points(std::string_view mounts) {
  std::vector<std::string> points;
  size_t start = 0;
  while (start < mounts.size()) {
    size_t end = mounts.find('\n', start);
    if (end == std::string_view::npos) end = mounts.size();
    const std::string_view line = mounts.substr(start, end - start);
    start = end + 1;
    // device mount-point type options ...
    const size_t first = line.find(' ');
    if (first == std::string_view::npos) continue;
    const size_t second = line.find(' ', first + 1);
    const std::string_view field = line.substr(
        first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    points.push_back(decode_octal_escapes(field));
  }
  return points;
}

}  // namespace

std::vector<std::u16string> removable_mount_points(std::string_view mounts) {
  std::vector<std::u16string> points;
  for (const std::string& point : mount_points(mounts)) {
    for (const char* base : {"/media/", "/run/media/", "/mnt/"}) {
      const std::string_view b(base);
      if (point.size() > b.size() && point.compare(0, b.size(), b) == 0) {
        points.push_back(without_trailing_separators(from_utf8(point)));
        break;
      }
    }
  }
  return points;
}

std::u16string mount_point_of(std::string_view mounts, std::u16string_view path) {
  const std::string wanted = to_utf8(path);
  std::string best = "/";
  for (std::string point : mount_points(mounts)) {
    while (point.size() > 1 && point.back() == '/') point.pop_back();
    if (point.size() > best.size() && leads(point, wanted)) best = point;
  }
  return from_utf8(best);
}

std::vector<std::u16string> card_candidates() {
  std::vector<std::u16string> cards;
  if (const char* list = std::getenv("LUMIVIEW_CARDS")) {
    const std::string_view text(list);
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(':', start);
      if (end == std::string_view::npos) end = text.size();
      const std::string entry(text.substr(start, end - start));
      start = end + 1;
      if (entry.empty()) continue;
      std::error_code error;
      const fs::path absolute = fs::absolute(fs::path(entry), error).lexically_normal();
      cards.push_back(without_trailing_separators(from_utf8(error ? entry : absolute.string())));
    }
    return cards;
  }
  return removable_mount_points(read_mount_table());
}

bool paths_nest(std::u16string_view a, std::u16string_view b) {
  const std::string na = normalised(a), nb = normalised(b);
  return leads(na, nb) || leads(nb, na);
}

bool card_left_out(std::u16string_view card, std::u16string_view my_documents,
                   uint64_t volume_bytes) {
  return volume_bytes <= kMinCardBytes || paths_nest(card, my_documents);
}

std::u16string drive_of(std::u16string_view path) {
  const std::string full = normalised(path);
  CollectingVisitor cards;
  find_drives(cards);
  for (const std::u16string& card : cards.folders)
    if (leads(normalised(card), full)) return card + u"/";
  if (leads(normalised(kMyDocumentsDrive), full)) return std::u16string(kMyDocumentsDrive);
  std::u16string root = mount_point_of(read_mount_table(), from_utf8(full));
  if (root.back() != u'/') root += u'/';
  return root;
}

void find_drives(FileVisitor& visitor) {
  const std::u16string my_documents = expand_path(u"%my_documents%");
  log() << u"find_drives: mydoc={" << my_documents << u"}\n";
  std::vector<std::u16string> returned;
  for (const std::u16string& card : card_candidates()) {
    bool left_out = card_left_out(card, my_documents, volume_size(card));
    // The same volume listed twice, or one card inside another, would count
    // its pictures twice.
    for (size_t i = 0; i < returned.size() && !left_out; ++i)
      left_out = paths_nest(card, returned[i]);
    if (left_out) {
      log() << u"skipping result={" << card << u"}\n";
      continue;
    }
    log() << u"returning result={" << card << u"}\n";
    returned.push_back(card);
    if (!visitor.on_folder(card)) return;
  }
}

}  // namespace lv
