#include "library/folder_record.h"

namespace lv {

namespace {

bool is_separator(char16_t c) {
  return c == u'/' || c == u'\\';
}

}  // namespace

std::u16string folder_display_name(std::u16string_view path) {
  size_t end = path.size();
  while (end > 0 && !is_separator(path[end - 1])) --end;
  if (end == 0) return {};  // no folder at all
  --end;                    // the separator that ends the folder's name
  size_t begin = end;
  while (begin > 0 && !is_separator(path[begin - 1])) --begin;
  const std::u16string_view name = path.substr(begin, end - begin);
  if (name == u"%my_documents%") return u"My documents";
  return std::u16string(name);
}

int find_folder_record(const std::vector<FolderRecord>& records, std::u16string_view folder,
                       int hint) {
  // The search makes one record per folder, so a record that matches the
  // hint is the first one with that folder.
  if (hint >= 0 && static_cast<size_t>(hint) < records.size() && records[hint].folder == folder)
    return hint;
  for (size_t i = 0; i < records.size(); ++i)
    if (records[i].folder == folder) return static_cast<int>(i);
  return -1;
}

}  // namespace lv
