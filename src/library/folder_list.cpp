#include "library/folder_list.h"

#include <map>

#include "base/file_util.h"
#include "base/key_value_file.h"
#include "base/log.h"
#include "base/settings.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace lv {

namespace {

constexpr std::u16string_view kKeyPictureKey = u"KeyPicturePath";
constexpr std::u16string_view kDriveKey = u"DrivePath";
constexpr std::u16string_view kSizeKey = u"FolderSize";
// More records than any device has folders; bounds what a damaged file can ask for.
constexpr int kMaxRecordNumber = 99'999'999;

void append_utf16le(std::string& out, std::u16string_view text) {
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
}

void append_line(std::string& out, std::u16string_view key, int number, std::u16string_view value) {
  append_utf16le(out, key);
  append_utf16le(out, from_utf8(std::to_string(number)));
  append_utf16le(out, u"\t");
  append_utf16le(out, value);
  append_utf16le(out, u"\n");
}

// A record number as the file writes it: decimal digits, no sign, no
// leading zero. -1 for anything else.
int record_number(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 8 || (digits.size() > 1 && digits[0] == u'0')) return -1;
  int number = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return -1;
    number = number * 10 + (c - u'0');
  }
  return number <= kMaxRecordNumber ? number : -1;
}

// A folder size: decimal digits, blanks after them allowed. -1 otherwise.
int32_t size_value(std::u16string_view text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > 10) return -1;
  int64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return -1;
    value = value * 10 + (c - u'0');
  }
  return value <= INT32_MAX ? static_cast<int32_t>(value) : -1;
}

bool starts_with_mark(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) == 0xFE;
}

std::u16string decode_text(std::string_view bytes) {
  if (starts_with_mark(bytes)) {
    std::u16string text = decode_key_value_bytes(bytes);
    // Every line of a saved list ends in LF; one that does not was cut off.
    if (!text.empty() && text.back() != u'\n' && text.back() != u'\r') {
      const size_t end = text.find_last_of(u"\r\n");
      text.erase(end == std::u16string::npos ? 0 : end + 1);
    }
    return text;
  }
  std::u16string text = from_utf8(bytes);
  if (to_utf8(text) == bytes) return text;
  return decode_key_value_bytes(bytes);
}

}  // namespace

std::u16string default_folder_list_path() {
  const std::string state = platform::state_folder();
  if (state.empty()) return {};
  return from_utf8(state + "/lumiview/folders.ini");
}

std::string encode_folder_list(const std::vector<FolderRecord>& records) {
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < records.size(); ++i) {
    const int n = static_cast<int>(i);
    append_line(out, kKeyPictureKey, n, records[i].key_picture);
    append_line(out, kDriveKey, n, records[i].drive);
    append_line(out, kSizeKey, n, from_utf8(std::to_string(records[i].size)));
  }
  return out;
}

std::vector<FolderRecord> decode_folder_list(std::string_view bytes) {
  KeyValueMap table;
  parse_key_value_text(decode_text(bytes), table);

  std::map<int, FolderRecord> numbered;
  for (const auto& [key, value] : table) {
    if (!key.starts_with(kKeyPictureKey) || value.empty()) continue;
    const int number = record_number(std::u16string_view(key).substr(kKeyPictureKey.size()));
    if (number < 0) continue;
    FolderRecord& record = numbered[number];
    record.key_picture = value;
    record.folder = folder_of(value);
  }
  for (const auto& [key, value] : table) {
    const bool drive = key.starts_with(kDriveKey);
    if (!drive && !key.starts_with(kSizeKey)) continue;
    const size_t prefix = drive ? kDriveKey.size() : kSizeKey.size();
    const auto found = numbered.find(record_number(std::u16string_view(key).substr(prefix)));
    if (found == numbered.end()) continue;
    if (drive) {
      found->second.drive = value;
    } else {
      const int32_t size = size_value(value);
      found->second.size = size < 0 ? 0 : size;
    }
  }

  std::vector<FolderRecord> records;
  records.reserve(numbered.size());
  for (auto& entry : numbered) records.push_back(std::move(entry.second));
  return records;
}

bool write_folder_list(std::u16string_view path, const std::vector<FolderRecord>& records) {
  if (path.empty()) return false;
  const std::u16string folder = folder_of(path);
  if (!folder.empty() && !file_info(folder).is_directory()) create_directory(folder);
  if (!write_file_atomic(path, encode_folder_list(records))) {
    log() << u"save_folders cannot write " << path << u"\n";
    return false;
  }
  return true;
}

bool read_folder_list(std::u16string_view path, std::vector<FolderRecord>& records) {
  records.clear();
  std::string bytes;
  if (path.empty() || !read_whole_file(path, bytes, kMaxKeyValueFileBytes)) return false;
  records = decode_folder_list(bytes);
  return true;
}

}  // namespace lv
