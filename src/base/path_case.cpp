#include "base/path_case.h"

#include "base/file_search.h"
#include "base/file_util.h"
#include "base/settings.h"

namespace lv {

std::u16string resolve_path_case(std::u16string_view path) {
  std::u16string expanded = expand_path(path);
  if (file_info(expanded).exists()) return expanded;

  const std::u16string folder = folder_of(expanded);
  const std::u16string_view name = std::u16string_view(expanded).substr(folder.size());
  // The name becomes the search pattern, so one with wildcards cannot be
  // resolved this way; an empty folder part would search the working folder.
  if (folder.empty() || name.empty() || name.find_first_of(u"*?") != std::u16string_view::npos)
    return expanded;

  std::u16string search_folder = folder;
  if (search_folder.size() > 1) search_folder.pop_back();
  CollectingVisitor found;
  find_files(found, search_folder, name, u"do_not_search", Recursion::flat);
  if (found.files.empty()) return expanded;
  return found.files.front();
}

}  // namespace lv
