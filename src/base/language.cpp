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

// A remembered name comes from the settings file, which anyone may edit: a
// name that reaches into another folder is not a language of this one.
bool is_plain_name(std::u16string_view name) {
  return !name.empty() && name.find_first_of(u"/\\") == std::u16string_view::npos && name != u"." &&
         name != u"..";
}

// Finds the language files in search order and stops early once it has
// seen enough of them.
class LanguageFileVisitor : public FileVisitor {
 public:
  explicit LanguageFileVisitor(size_t limit) : m_limit(limit) {}
  bool on_file(const std::u16string& path) override {
    files.push_back(path);
    return files.size() < m_limit;
  }
  bool on_folder(const std::u16string&) override { return true; }
  std::vector<std::u16string> files;

 private:
  size_t m_limit;
};

std::vector<std::u16string> search_language_files(std::u16string_view folder, size_t limit) {
  LanguageFileVisitor visitor(limit);
  find_files(visitor, expand_path(folder), u"*.lng", u"do_not_search", Recursion::flat);
  return std::move(visitor.files);
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
  const size_t slash = path.find_last_of(u"/\\");
  std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  if (name.size() >= kExtension.size() &&
      to_lower(name.substr(name.size() - kExtension.size())) == kExtension)
    name.remove_suffix(kExtension.size());
  return std::u16string(name);
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
    if (!is_plain_name(name)) continue;
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
