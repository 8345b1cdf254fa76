#include "base/language.h"

#include <algorithm>
#include <cstdint>

#include "base/file_search.h"
#include "base/log.h"
#include "base/path_case.h"
#include "base/settings.h"
#include "base/system_language.h"

namespace lv {

namespace {

constexpr std::u16string_view kExtension = u".lng";

std::vector<std::u16string> search_language_files(std::u16string_view folder, size_t limit) {
  return list_folder_files(folder, u"*.lng", limit);
}

}  // namespace

bool LanguageTable::load(std::u16string_view path) {
  const std::u16string resolved = resolve_path_case(path);
  KeyValueMap texts;
  if (!read_key_value_file(resolved, texts)) {
    log() << u"LanguageTable::load failed path=" << resolved << u"\n";
    return false;
  }
  m_texts = std::move(texts);
  m_path = resolved;
  log() << u"LanguageTable::load path=" << m_path << u" texts=" << m_texts.size() << u"\n";
  return true;
}

std::u16string LanguageTable::lookup(std::u16string_view key) const {
  const auto it = m_texts.find(key);
  return it != m_texts.end() ? it->second : std::u16string(key);
}

std::u16string language_file_path(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (!path.empty() && path.back() != u'/' && path.back() != u'\\') path += u'/';
  path += name;
  path += kExtension;
  return path;
}

std::u16string language_name_of(std::u16string_view path) {
  return file_name_without_extension(path, kExtension);
}

bool load_language_at_start(LanguageTable& table, std::u16string_view app_name,
                            std::u16string_view language_folder) {
  std::u16string key(kKaruKey);
  key += u'\\';
  key += app_name;
  std::u16string remembered;
  get_string(key, u"Language", remembered);

  const std::u16string named[] = {remembered, user_language_name(), u"english"};
  for (const std::u16string& name : named) {
    // A remembered name comes from the settings file, which anyone may edit.
    if (!is_plain_file_name(name)) continue;
    if (table.load(language_file_path(language_folder, name))) return true;
  }
  for (const std::u16string& path : search_language_files(language_folder, SIZE_MAX)) {
    if (table.load(path)) return true;
  }
  log() << u"load_language_at_start no language in " << language_folder << u"\n";
  return false;
}

bool load_language_at_start(LanguageTable& table, std::u16string_view app_name) {
  return load_language_at_start(table, app_name, app_path());
}

std::vector<std::u16string> list_language_files(std::u16string_view language_folder) {
  std::vector<std::u16string> files = search_language_files(language_folder, SIZE_MAX);
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::u16string> list_language_files() {
  return list_language_files(app_path());
}

bool has_several_languages(std::u16string_view language_folder) {
  return search_language_files(language_folder, 2).size() > 1;
}

bool has_several_languages() {
  return has_several_languages(app_path());
}

}  // namespace lv
